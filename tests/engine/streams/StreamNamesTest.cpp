// Names of the plug-in streams: derived names, the rules for texts a plug-in
// or the user gives, the ANSI hand-over and the output line of the panel.
#include <windows.h>

#include "StreamFakes.h"
#include "engine/InputStream.h"
#include "engine/OutputStream.h"

using namespace zv;
using namespace zvtest;

namespace {

class StreamNames : public TStreamTest {
protected:
  TOutputStream Out{std::make_unique<TMemStream>(), Props(L"C:\\out", L"", L"a", L"txt")};
  TFileProperties Now() const { return Out.GetFileProperties(); }
};

TEST(FileProperties, DerivedNames) {
  TFileProperties p{L"C:\\out", L"", L"a", L"txt"};
  EXPECT_EQ(p.Directory(), L"C:\\out");
  EXPECT_EQ(p.FullName(), L"C:\\out\\a.txt");
  p.Path = L"x\\y";
  EXPECT_EQ(p.Directory(), L"C:\\out\\x\\y");
  EXPECT_EQ(p.FullName(), L"C:\\out\\x\\y\\a.txt");
  p.Extension.clear();
  EXPECT_EQ(p.FullName(), L"C:\\out\\x\\y\\a.");
}

TEST(FileProperties, LastPos) {
  EXPECT_EQ(LastPos(L".", L"a.b.c"), 4u);
  EXPECT_EQ(LastPos(L"ab", L"abxab"), 4u);
  EXPECT_EQ(LastPos(L"\\", L"abc"), 0u);
  EXPECT_EQ(LastPos(L"", L"abc"), 0u);
  EXPECT_EQ(LastPos(L".", L""), 0u);
  EXPECT_EQ(LastPos(L"abcd", L"abc"), 0u);
  EXPECT_EQ(LastPos(L"A", L"a"), 0u);  // case-sensitive
}

TEST_F(StreamNames, SetPathTrimsOneBackslashAtEachEnd) {
  EXPECT_TRUE(Out.SetPathA("\\sub\\dir\\"));
  EXPECT_EQ(Now().Path, L"sub\\dir");
  EXPECT_EQ(Out.GetFullName(), L"C:\\out\\sub\\dir\\a.txt");
  EXPECT_TRUE(Out.SetPathA("\\\\x\\\\"));
  EXPECT_EQ(Now().Path, L"\\x\\");
  EXPECT_TRUE(Out.SetPathA("\\"));
  EXPECT_EQ(Now().Path, L"");
}

TEST_F(StreamNames, SetPathRefusesParentReferences) {
  ASSERT_TRUE(Out.SetPathA("keep"));
  EXPECT_FALSE(Out.SetPathA("a..b"));
  EXPECT_FALSE(Out.SetPathA("..\\x"));
  EXPECT_FALSE(Out.SetPathA("x/../../y"));
  EXPECT_EQ(Now().Path, L"keep");
}

TEST_F(StreamNames, SetPathNullOrEmptyClears) {
  ASSERT_TRUE(Out.SetPathA("keep"));
  EXPECT_TRUE(Out.SetPathA(nullptr));
  EXPECT_EQ(Now().Path, L"");
  ASSERT_TRUE(Out.SetPathA("keep"));
  EXPECT_TRUE(Out.SetPathA(""));
  EXPECT_EQ(Now().Path, L"");
}

TEST_F(StreamNames, SetNameDropsDirectoryAndExtension) {
  EXPECT_TRUE(Out.SetNameA("C:\\x\\report.final.pdf"));
  EXPECT_EQ(Now().Name, L"report.final");
  EXPECT_TRUE(Out.SetNameA("plain"));
  EXPECT_EQ(Now().Name, L"plain");
  EXPECT_TRUE(Out.SetNameA(".cfg"));
  EXPECT_EQ(Now().Name, L"");
  EXPECT_EQ(Now().Extension, L"txt");
}

TEST_F(StreamNames, SetNameNullOrEmptyRefused) {
  EXPECT_FALSE(Out.SetNameA(nullptr));
  EXPECT_FALSE(Out.SetNameA(""));
  EXPECT_EQ(Now().Name, L"a");
}

// A forward slash is a separator to Windows too: a name must not climb out of
// its directory through it.
TEST_F(StreamNames, NamesCannotLeaveTheirDirectory) {
  EXPECT_TRUE(Out.SetNameA("../../evil.txt"));
  EXPECT_EQ(Now().Name, L"evil");
  Out.SetFileName(L"../up.bin");
  EXPECT_EQ(Now().Name, L"up");
  EXPECT_EQ(Out.GetFullName(), L"C:\\out\\up.bin");
}

TEST_F(StreamNames, SetExtensionKeepsTheLastPart) {
  EXPECT_TRUE(Out.SetExtensionA("tar.gz"));
  EXPECT_EQ(Now().Extension, L"gz");
  EXPECT_TRUE(Out.SetExtensionA(".txt"));
  EXPECT_EQ(Now().Extension, L"txt");
  EXPECT_TRUE(Out.SetExtensionA(""));
  EXPECT_EQ(Now().Extension, L"");
  EXPECT_EQ(Out.GetFullName(), L"C:\\out\\a.");
  ASSERT_TRUE(Out.SetExtensionA("bin"));
  EXPECT_TRUE(Out.SetExtensionA(nullptr));
  EXPECT_EQ(Now().Extension, L"");
}

TEST_F(StreamNames, SetFileNameSplitsAtTheLastDot) {
  Out.SetFileName(L"dir\\new.bin");
  EXPECT_EQ(Now().Name, L"new");
  EXPECT_EQ(Now().Extension, L"bin");
  Out.SetFileName(L"nodot");
  EXPECT_EQ(Now().Name, L"nodot");
  EXPECT_EQ(Now().Extension, L"bin");
  Out.SetFileName(L"");
  EXPECT_EQ(Now().Name, L"nodot");
  Out.SetFileName(L"x.tar.gz");
  EXPECT_EQ(Now().Name, L"x.tar");
  EXPECT_EQ(Now().Extension, L"gz");
  Out.SetFileName(std::wstring(400, L'n') + L".e");  // the user's text has no limit
  EXPECT_EQ(Now().Name.size(), 400u);
}

TEST_F(StreamNames, PluginTextIsCutAt260Bytes) {
  const std::string longText(300, 'p');
  ASSERT_TRUE(Out.SetPathA(longText.c_str()));
  EXPECT_EQ(Now().Path, std::wstring(260, L'p'));
  ASSERT_TRUE(Out.SetNameA(longText.c_str()));
  EXPECT_EQ(Now().Name, std::wstring(260, L'p'));
  ASSERT_TRUE(Out.SetExtensionA(longText.c_str()));
  EXPECT_EQ(Now().Extension, std::wstring(260, L'p'));
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
  EXPECT_EQ(Now().Name, std::wstring(260, L'q'));
  ::VirtualFree(base, 0, MEM_RELEASE);
}

TEST_F(StreamNames, TextsCrossAsAnsiKeptByThePlugin) {
  const std::string ansiName = WideToAnsi(L"caf\u00e9");
  ASSERT_TRUE(Out.SetNameA(ansiName.c_str()));
  EXPECT_EQ(Now().Name, L"caf\u00e9");
  ASSERT_TRUE(Out.SetPathA("p\\q"));
  const char* path = Out.GetPathA();
  const char* name = Out.GetNameA();
  const char* extension = Out.GetExtensionA();
  ASSERT_TRUE(path && name && extension);
  EXPECT_STREQ(path, "p\\q");
  EXPECT_EQ(std::string(name), ansiName);
  EXPECT_STREQ(extension, "txt");
  EXPECT_EQ(Plugin.Stored.size(), 3u);
}

TEST_F(StreamNames, NoTextsWithoutARunningPlugin) {
  CurrentPluginContext = nullptr;
  EXPECT_EQ(Out.GetPathA(), nullptr);
  EXPECT_EQ(Out.GetNameA(), nullptr);
  EXPECT_EQ(Out.GetExtensionA(), nullptr);
}

TEST_F(StreamNames, OutputRenameShowsTheNewFullName) {
  ASSERT_TRUE(Out.SetPathA("sub"));
  ASSERT_TRUE(Out.SetNameA("b.x"));
  ASSERT_TRUE(Out.SetExtensionA("dat"));
  EXPECT_FALSE(Out.SetPathA(".."));
  EXPECT_FALSE(Out.SetNameA(""));
  Out.SetFileName(L"quiet.bin");  // the user's own rename is not echoed
  EXPECT_EQ(OutputLine.Texts, (std::vector<std::wstring>{
                                  L"C:\\out\\sub\\a.txt", L"C:\\out\\sub\\b.txt",
                                  L"C:\\out\\sub\\b.dat"}));
}

TEST_F(StreamNames, OutputRenameWithoutPanel) {
  ProgressOutputLine = nullptr;
  EXPECT_TRUE(Out.SetNameA("z"));
  EXPECT_EQ(Now().Name, L"z");
}

TEST_F(StreamNames, PanelIsUpdatedOutsideTheLock) {
  bool lockFree = false;
  OutputLine.OnText = [&] { lockFree = TLockProbe(Out).FinishedSoon(); };
  ASSERT_TRUE(Out.SetNameA("z"));
  EXPECT_TRUE(lockFree);
}

TEST_F(StreamNames, NamesOfSharersAreTheirOwn) {
  TInputStream in(CreateShared, Out);
  EXPECT_EQ(in.GetFullName(), Out.GetFullName());
  ASSERT_TRUE(Out.SetNameA("renamed"));
  EXPECT_EQ(in.GetFileProperties().Name, L"a");
  in.SetFileProperties(Props(L"D:\\in", L"p", L"n", L"e"));
  EXPECT_EQ(in.GetDirectory(), L"D:\\in\\p");
  EXPECT_EQ(Out.GetFullName(), L"C:\\out\\renamed.txt");
}

}  // namespace
