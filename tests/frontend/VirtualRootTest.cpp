#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "engine/CreatedDirectories.h"
#include "engine/GeneralStream.h"
#include "frontend/BatchState.h"
#include "frontend/HostPaths.h"
#include "frontend/VirtualRoot.h"
#include "platform/TextConv.h"
#include "support/TestFiles.h"

using namespace zv;

namespace {

// Drives the test machine lacks: letter -> type and label (null: unreadable).
// Notes each label query and the thread's error mode during it.
class TFakeDrives : public IDriveQueries {
public:
  std::map<wchar_t, std::pair<UINT, const wchar_t*>> Drives;
  std::wstring LabelsAsked;
  std::vector<DWORD> ErrorModes;

  DWORD LogicalDrives() override {
    DWORD mask = 0;
    for (const auto& drive : Drives) mask |= DWORD(1) << (drive.first - L'A');
    return mask;
  }
  UINT DriveType(const std::wstring& root) override { return Drives.at(root[0]).first; }
  bool VolumeLabel(const std::wstring& root, std::wstring& label) override {
    LabelsAsked += root[0];
    ErrorModes.push_back(::GetThreadErrorMode());
    const wchar_t* text = Drives.at(root[0]).second;
    if (text) label = text;
    return text != nullptr;
  }
};

class RootListing : public ::testing::Test {
protected:
  void TearDown() override { DriveQueries = &RealDriveQueries(); }
  // The names, each a drive ("D") or an action entry ("-") by the position after it.
  static std::vector<std::wstring> List() {
    std::vector<std::wstring> listed;
    for (std::wstring name = GetFirstRootEntry(); !name.empty(); name = GetNextRootEntry())
      listed.push_back((RootEntryIndex <= RootLastDriveSlot ? L"D " : L"- ") + name);
    return listed;
  }
};

std::wstring Fields(const TFileProperties& p) { return p.Root + L"|" + p.Path + L"|" + p.Name + L"|" + p.Extension; }
const wchar_t* const Refused = L"r|p|n|e";  // false, and the record as it was

class HostPaths : public ::testing::Test {
protected:
  void SetUp() override { CurrentRemoteDir = L"C:\\Data"; }
  void TearDown() override { CreatedDirectories.reset(); }
};

}  // namespace

TEST_F(RootListing, DrivesInLetterOrderThenTheActionEntriesThenTheEndUntilRestarted) {
  TFakeDrives fake;
  fake.Drives = {{L'A', {DRIVE_REMOVABLE, nullptr}}, {L'C', {DRIVE_FIXED, L"System"}}, {L'D', {DRIVE_CDROM, nullptr}},
                 {L'E', {DRIVE_FIXED, L""}},         {L'F', {DRIVE_REMOVABLE, nullptr}}, {L'G', {DRIVE_FIXED, nullptr}},
                 {L'N', {DRIVE_REMOTE, L"unread"}},  {L'R', {DRIVE_RAMDISK, L"unread"}}, {L'Z', {DRIVE_NO_ROOT_DIR, L"unread"}}};
  DriveQueries = &fake;
  const DWORD modeBefore = ::GetThreadErrorMode();
  EXPECT_EQ(List(), (std::vector<std::wstring>{L"D A: (3 1/2\")", L"D C: (System)", L"D D: (CD/DVD)", L"D E: ()",
                                                L"D F: (REMOVABLE)", L"D G: (HARDDISK)", L"D N: (UNKNOWN)",
                                                L"D R: (RAMDISK)", L"D Z: (UNKNOWN)",
                                                L"- Press enter here to display settings...",
                                                L"- Press enter here to display help..."}));
  EXPECT_EQ(GetNextRootEntry(), L"");
  EXPECT_EQ(GetNextRootEntryA(), "");
  EXPECT_EQ(GetFirstRootEntryA(), "A: (3 1/2\")");
  // Labels of removable, fixed and CD drives only, with critical-error boxes off meanwhile.
  EXPECT_EQ(fake.LabelsAsked, L"ACDEFGA");
  for (DWORD mode : fake.ErrorModes) EXPECT_TRUE(mode & SEM_FAILCRITICALERRORS);
  EXPECT_EQ(::GetThreadErrorMode(), modeBefore);
}

// Attributes and the sizes of action entries for either host are the test host's; here what no listing shows.
TEST(FindData, EveryOtherFieldIsClearedAndLongNamesAreCutWholeCharacters) {
  WIN32_FIND_DATAA data;
  std::memset(&data, 0x5A, sizeof(data));
  FillFindData(data, "C: (System)", true);
  EXPECT_EQ(data.nFileSizeLow | data.ftCreationTime.dwLowDateTime | data.ftLastAccessTime.dwHighDateTime, 0u);
  EXPECT_EQ(data.ftLastWriteTime.dwLowDateTime, 0xFFFFFFFEu);
  EXPECT_STREQ(data.cFileName, "C: (System)");
  FillFindData(data, std::string(400, 'n').c_str(), false);
  EXPECT_EQ(std::string(data.cFileName), std::string(259, 'n'));
  EXPECT_EQ(data.nFileSizeLow, 0xFFFFFFFEu);

  std::string pairs = "ab";  // then 200 double-byte characters of the Japanese code page
  for (int i = 0; i < 200; ++i) pairs += "\x82\xA0";
  EXPECT_EQ(AnsiPrefixLength(pairs, 259, 932), 258u);
  EXPECT_EQ(AnsiPrefixLength(pairs, 259, 1252), 259u);
  EXPECT_EQ(AnsiPrefixLength("\x82", 259, 932), 1u) << "a lone lead byte at the end";
}

TEST(HostPathMapping, RealPathsAndTheirKinds) {
  const std::wstring longRest(32000, L'a');
  const struct {
    std::wstring Host, Real;
    bool Virtual, IsReal;
  } cases[] = {
      {L"", L"\\", true, false},
      {L"\\C: (System)", L"C:", false, false},
      {L"\\C: (System)\\", L"C:", false, false},
      {L"\\C: (System)\\Dir\\", L"C:\\Dir", false, true},
      {L"\\C: (System)\\Dir\\File.txt", L"C:\\Dir\\File.txt", false, true},
      {L"\\Press enter here to display help...", L"\\Press enter here to display help...", true, false},
      {L"\\C: (x)\\" + longRest, L"C:\\" + longRest, false, true},
      {L"\\\\:x\\y", L"\\:x\\y", true, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GetRealPath(c.Host), c.Real) << WideToAnsi(c.Host.substr(0, 40));
    EXPECT_EQ(IsVirtualPath(c.Host), c.Virtual) << WideToAnsi(c.Host.substr(0, 40));
    EXPECT_EQ(IsRealPath(c.Host), c.IsReal) << WideToAnsi(c.Host.substr(0, 40));
  }
}

TEST_F(HostPaths, BothBuildersStayInsideTheirDirectoriesAndWriteNothingOnFalse) {
  const struct {
    const wchar_t *Remote, *Other, *Fields;  // Other null: the remote record
  } cases[] = {
      {L"c:\\DATA\\f.txt", nullptr, L"C:\\Data||f|txt"},
      {L"C:\\Data\\sub\\deep\\x.tar.gz", nullptr, L"C:\\Data|sub\\deep|x.tar|gz"},
      {L"C:\\Data\\README", nullptr, L"C:\\Data||README|"},
      {L"C:\\Data\\.profile", nullptr, L"C:\\Data|||profile"},
      {L"C:\\Database\\f.txt", nullptr, Refused},
      {L"C:\\Data", nullptr, Refused},
      {L"C:\\Data\\..\\Windows\\x.dll", nullptr, Refused},
      {L"C:\\Data\\\\f.txt", nullptr, Refused},
      {L"C:\\Data\\sub\\a.txt", L"D:\\Out\\sub\\b.txt", L"D:\\Out|sub|b|txt"},
      {L"C:\\Data\\a.txt", L"D:\\b", L"D:||b|"},
      {L"C:\\Data\\sub\\a.txt", L"\\\\srv\\share\\out\\sub\\b.txt", L"\\\\srv\\share\\out|sub|b|txt"},
      {L"C:\\Data\\a\\b\\c.txt", L"\\\\srv\\share\\c.txt", Refused},
      {L"C:\\Data\\a.txt", L"D:\\Out\\", Refused},
      {L"C:\\Data\\s\\a.txt", L"D:\\Out\\..\\b.txt", Refused},
      {L"C:\\Data\\a.txt", L"\\b.txt", Refused},
      {L"C:\\Data\\s\\a.txt", L"\\\\?\\s\\a.txt", Refused},
      {L"C:\\Data\\s\\a.txt", L"\\\\?\\UNC\\srv\\s\\a.txt", Refused},
      {L"C:\\Data\\..\\a.txt", L"D:\\Out\\b.txt", Refused},
  };
  for (const auto& c : cases) {
    TFileProperties props{L"r", L"p", L"n", L"e"};
    const bool built = c.Other ? BuildLocalFileProperties(c.Remote, c.Other, props)
                               : BuildRemoteFileProperties(c.Remote, props);
    EXPECT_EQ(built, c.Fields != Refused) << WideToAnsi(c.Other ? c.Other : c.Remote);
    EXPECT_EQ(Fields(props), c.Fields) << WideToAnsi(c.Other ? c.Other : c.Remote);
  }
}

TEST_F(HostPaths, AnsiWrappersConvertBothWaysAndOnlyAsciiLettersFold) {
  CurrentRemoteDir = L"C:\\D\u00e4t\u00e4";
  EXPECT_TRUE(LiesBelowRemoteDir(L"c:\\d\u00e4t\u00e4\\f.txt"));
  EXPECT_FALSE(LiesBelowRemoteDir(L"C:\\D\u00c4T\u00c4\\f.txt"));
  TFileProperties props;
  ASSERT_TRUE(BuildLocalFilePropertiesA(WideToAnsi(L"C:\\D\u00e4t\u00e4\\caf\u00e9.txt").c_str(),
                                        WideToAnsi(L"D:\\\u00d6\\na\u00efve.txt").c_str(), props));
  EXPECT_EQ(Fields(props), L"D:\\\u00d6||na\u00efve|txt");
  ASSERT_TRUE(BuildRemoteFilePropertiesA(WideToAnsi(L"C:\\D\u00e4t\u00e4\\caf\u00e9.txt").c_str(), props));
  EXPECT_EQ(Fields(props), L"C:\\D\u00e4t\u00e4||caf\u00e9|txt");
  EXPECT_EQ(GetRealPathA(WideToAnsi(L"\\C: (Syst\u00e8me)\\caf\u00e9.txt").c_str()), WideToAnsi(L"C:\\caf\u00e9.txt"));
  CurrentRemoteDir.clear();
  EXPECT_FALSE(LiesBelowRemoteDir(L"\\f.txt")) << "no batch directory, nothing below it";
}

TEST_F(HostPaths, CreatedDirectoriesGoDeepestFirstWhereEmptyAndNothingOutsideTheirRoot) {
  zvtest::TTempDir temp;
  const std::wstring out = temp / L"Out";
  for (const wchar_t* dir : {L"Out", L"Out\\a", L"Out\\a\\b", L"Out\\c", L"Out\\c\\d", L"Out\\e", L"Outside"})
    ASSERT_TRUE(::CreateDirectoryW((temp / dir).c_str(), nullptr));
  zvtest::WriteFileBytes(temp / L"Out\\c\\keep.txt", {1});

  CreatedDirectories.emplace();
  for (const wchar_t* path : {L"a\\b", L"c\\d", L"a\\b", L"", L"e"}) AddCreatedDirectory({out, path, L"f", L"x"});
  RemoveCreatedDirectoryEntry({out, L"e", L"g", L"y"});  // an output reached Out\e
  EXPECT_EQ(*CreatedDirectories, (std::vector<std::wstring>{out + L"|a\\b", out + L"|c\\d"}));
  // Entries that a hostile counterpart could leave: nothing outside Out, nor Out itself, may go.
  for (const std::wstring& entry : {out + L"|..\\Outside", out + L"|", L"|" + temp.Path(), std::wstring(L"no bar")})
    CreatedDirectories->push_back(entry);
  RemoveCreatedDirectories();

  for (const wchar_t* gone : {L"Out\\a", L"Out\\c\\d"})
    EXPECT_EQ(::GetFileAttributesW((temp / gone).c_str()), INVALID_FILE_ATTRIBUTES) << WideToAnsi(gone);
  for (const wchar_t* kept : {L"Out", L"Out\\c\\keep.txt", L"Out\\e", L"Outside"})
    EXPECT_NE(::GetFileAttributesW((temp / kept).c_str()), INVALID_FILE_ATTRIBUTES) << WideToAnsi(kept);
  EXPECT_EQ(CreatedDirectories->size(), 6u) << "the list itself stays";
}
