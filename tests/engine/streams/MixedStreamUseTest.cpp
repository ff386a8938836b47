// The plug-in streams over the engine's own data stream: one stage writes,
// the next reads the same data from its start, and the last output is saved.
#include "StreamFakes.h"
#include "engine/InputStream.h"
#include "engine/MixedStream.h"
#include "engine/OutputStream.h"
#include "support/TestFiles.h"

using namespace zv;
using namespace zvtest;

namespace {

class OverMixedStream : public TStreamTest {
protected:
  void SetUp() override {
    TStreamTest::SetUp();
    FOldFolder = StreamTempFolder;
    StreamTempFolder = Dir.Path();  // no allocator: the data lives in an overflow file here
  }
  void TearDown() override {
    StreamTempFolder = FOldFolder;
    TStreamTest::TearDown();
  }
  TTempDir Dir;

private:
  std::wstring FOldFolder;
};

TEST_F(OverMixedStream, WriteShareAndSave) {
  ASSERT_EQ(GlobalMemoryManager, nullptr);
  auto out = std::make_unique<TOutputStream>(std::make_unique<TMixedStream>(),
                                             Props(Dir.Path(), L"", L"stage1", L"out"));
  const std::vector<char> data = Pattern(300000);
  ASSERT_EQ(out->Write(data.data(), 200000), 200000);
  ASSERT_EQ(out->Write(data.data() + 200000, 100000), 100000);
  EXPECT_TRUE(out->IsEndOfStream());

  auto in = std::make_unique<TInputStream>(CreateShared, *out);
  out.reset();  // the stage that wrote is done; its data stays for the reader
  std::vector<char> back(300000);
  ASSERT_EQ(in->Read(back.data(), 300000), 300000);
  EXPECT_EQ(back, data);

  TOutputStream last(CreateShared, *in);
  last.SetFileProperties(Props(Dir.Path(), L"dest", L"final", L"bin"));
  EXPECT_EQ(last.SaveToFile(), srSaved);
  const std::vector<unsigned char> saved = ReadFileBytes(Dir / L"dest\\final.bin");
  EXPECT_TRUE(std::equal(saved.begin(), saved.end(), data.begin(), data.end(),
                         [](unsigned char a, char b) { return a == static_cast<unsigned char>(b); }));
  EXPECT_EQ(Progress.Percents, (std::vector<int32_t>{87, 100}));
}

}  // namespace
