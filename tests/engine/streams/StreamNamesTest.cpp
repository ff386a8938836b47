// Names of the plug-in streams: the rules for texts a plug-in or the user
// gives, the ANSI hand-over and the output line of the panel.
#include <windows.h>

#include "StreamFakes.h"
#include "engine/OutputStream.h"

using namespace zv;
using namespace zvtest;

namespace {

// Path|Name|Extension, to compare a whole record at once.
std::wstring Fields(const TGeneralStream& s) {
  const TFileProperties p = s.GetFileProperties();
  return p.Path + L"|" + p.Name + L"|" + p.Extension;
}

class StreamNames : public TStreamTest {
protected:
  TOutputStream Out{std::make_unique<TMemStream>(), {L"C:\\out", L"keep", L"a", L"txt"}};
};

}  // namespace

// What the plug-in's SetPath/SetName/SetExtension make of a text, starting
// from keep|a|txt; the plain cases are the stream table's rows.
TEST_F(StreamNames, PluginTexts) {
  using TSetter = bool (TGeneralStream::*)(const char*);
  const TSetter path = &TGeneralStream::SetPathA, name = &TGeneralStream::SetNameA,
                extension = &TGeneralStream::SetExtensionA;
  const std::string longText(300, 'p'), ansi = WideToAnsi(L"caf\u00e9");
  const std::wstring cut(260, L'p');
  struct { TSetter set; const char* text; bool accepted; std::wstring fields; } cases[] = {
      // One backslash trimmed at each end; ".." anywhere refused.
      {path, "\\\\x\\\\", true, L"\\x\\|a|txt"},
      {path, "\\", true, L"|a|txt"},
      {path, nullptr, true, L"|a|txt"},
      {path, "a..b", false, L"keep|a|txt"},
      {path, "x/../../y", false, L"keep|a|txt"},
      // The name loses its directory (either slash) and the part after its last dot.
      {name, "../../evil.txt", true, L"keep|evil|txt"},
      {name, ".cfg", true, L"keep||txt"},
      {name, ansi.c_str(), true, L"keep|caf\u00e9|txt"},
      {name, nullptr, false, L"keep|a|txt"},
      {name, "", false, L"keep|a|txt"},
      {name, longText.c_str(), true, L"keep|" + cut + L"|txt"},  // one length limit for all three
      // No extension at all.
      {extension, nullptr, true, L"keep|a|"},
  };
  for (const auto& c : cases) {
    TOutputStream out(std::make_unique<TMemStream>(), {L"C:\\out", L"keep", L"a", L"txt"});
    EXPECT_EQ((out.*c.set)(c.text), c.accepted) << (c.text ? c.text : "null");
    EXPECT_EQ(Fields(out), c.fields) << (c.text ? c.text : "null");
  }
}

// The user's own file name: split at the last dot, no length limit, no escape by slash.
TEST_F(StreamNames, SetFileName) {
  const std::wstring longName(400, L'n');
  struct { std::wstring text, fields; } cases[] = {
      {L"dir\\new.bin", L"keep|new|bin"}, {L"nodot", L"keep|nodot|txt"},  {L"", L"keep|a|txt"},
      {L"x.tar.gz", L"keep|x.tar|gz"},    {L"../up.bin", L"keep|up|bin"}, {longName + L".e", L"keep|" + longName + L"|e"},
  };
  for (const auto& c : cases) {
    TOutputStream out(std::make_unique<TMemStream>(), {L"C:\\out", L"keep", L"a", L"txt"});
    out.SetFileName(c.text);
    EXPECT_EQ(Fields(out), c.fields) << c.text;
  }
}

// 260 bytes without a terminator right before an inaccessible page: nothing
// beyond them may be read.
TEST_F(StreamNames, PluginTextIsNeverReadBeyond260Bytes) {
  SYSTEM_INFO info;
  ::GetSystemInfo(&info);
  const DWORD page = info.dwPageSize;
  auto* base = static_cast<char*>(::VirtualAlloc(nullptr, 2 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  ASSERT_NE(base, nullptr);
  DWORD old;
  ASSERT_TRUE(::VirtualProtect(base + page, page, PAGE_NOACCESS, &old));
  char* text = base + page - 260;
  std::memset(text, 'q', 260);
  EXPECT_TRUE(Out.SetNameA(text));
  EXPECT_TRUE(Out.SetPathA(text));
  EXPECT_TRUE(Out.SetExtensionA(text));
  EXPECT_EQ(Out.GetFileProperties().Name, std::wstring(260, L'q'));
  ::VirtualFree(base, 0, MEM_RELEASE);
}

// Accepted plug-in renames show the new full name, outside the lock; refused
// ones and the user's own rename do not.
TEST_F(StreamNames, OutputRenameShowsTheNewFullName) {
  OutputLine.OnText = [&] { ExpectLockFree(Out); };
  ASSERT_TRUE(Out.SetPathA("sub"));
  ASSERT_TRUE(Out.SetNameA("b.x"));
  ASSERT_TRUE(Out.SetExtensionA("dat"));
  EXPECT_FALSE(Out.SetPathA(".."));
  EXPECT_FALSE(Out.SetNameA(""));
  Out.SetFileName(L"quiet.bin");
  EXPECT_EQ(OutputLine.Texts, (std::vector<std::wstring>{L"C:\\out\\sub\\a.txt", L"C:\\out\\sub\\b.txt",
                                                         L"C:\\out\\sub\\b.dat"}));
  ProgressLines = nullptr;
  EXPECT_TRUE(Out.SetNameA("z"));
}
