// The configuration file store: the .cfg format, typed values, section
// listing and deletion, and when and how the file is written.
#include <gtest/gtest.h>

#include <optional>

#include "config/ConfigFileSettings.h"
#include "platform/ZvError.h"
#include "ConfigTestUtil.h"

using namespace zv;
using namespace zvtest;

namespace {

class ConfigFile : public ::testing::Test {
protected:
  std::wstring Path() const { return FDir / L"Test.cfg"; }
  // A store over a file holding the given text (written with a byte-order mark).
  std::unique_ptr<TConfigFileSettings> Open(const std::wstring& text) {
    WriteCfg(Path(), text);
    return std::make_unique<TConfigFileSettings>(Path());
  }
  TTempDir FDir;
};

// A store writes at Flush and destruction only, by replacing the file: its
// hidden attribute stays; an unmodified store does not write at all.
TEST_F(ConfigFile, ANewFileIsTheByteOrderMarkAloneThenSectionsAndLinesEachEndingInCrLf) {
  auto store = std::make_unique<TConfigFileSettings>(Path());
  EXPECT_FALSE(FileExists(Path()));
  EXPECT_EQ(store->ReadNumber(L"Settings", L"A", 9), 9);  // even a read creates the file
  EXPECT_EQ(ReadFileBytes(Path()), kBomOnly);
  store->WriteNumber(L"A", L"x", 1);
  store->DeleteKey(L"A");
  store->Flush();
  EXPECT_EQ(ReadFileBytes(Path()), kBomOnly);

  ::SetFileAttributesW(Path().c_str(), FILE_ATTRIBUTE_HIDDEN);
  const unsigned char bytes[] = {0x00, 0x7F, 0xFF};
  store->WriteNumber(L"Settings", L"MemUsage", INT32_MIN);
  store->WriteString(L"Plugins", L"1", L".\\Zip.zvx|Zip");
  EXPECT_EQ(ReadFileBytes(Path()), kBomOnly);
  store->Flush();
  EXPECT_NE(ReadFileBytes(Path()), kBomOnly);
  store->WriteData(L"Settings", L"Block", bytes, 3);
  store->WriteData(L"Settings", L"Empty", nullptr, 5);
  store.reset();
  EXPECT_EQ(ReadFileBytes(Path()), Utf16Bytes(L"[Settings]\r\nMemUsage=number:-2147483648\r\nBlock=data:007fff\r\n"
                                               L"Empty=data:\r\n\r\n[Plugins]\r\n1=string:.\\Zip.zvx|Zip\r\n\r\n"));
  EXPECT_NE(::GetFileAttributesW(Path().c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);

  store = std::make_unique<TConfigFileSettings>(Path());
  store->ReadNumber(L"Settings", L"MemUsage", 0);
  WriteFileBytes(Path(), kBomOnly);  // replaced meanwhile: stays as it is
  store.reset();
  EXPECT_EQ(ReadFileBytes(Path()), kBomOnly);
}

TEST_F(ConfigFile, CanonicalFileRoundTripsByteForByte) {
  const std::wstring text =
      L"[Settings]\r\nTempFolder=string:C:\\Temp\r\nverbatim line\r\n=string:no name\r\nX=:odd\r\n\r\n"
      L"[Profiles\\Work\\[1][3]Zip]\r\nLevel=number:9\r\nKey=data:00ff\r\n\r\n"
      L"[]\r\nA=string:a\x00e9\x4e2d\xd83d\xde00\r\n\r\n";
  auto store = Open(text);
  store->WriteNumber(L"Settings", L"Scratch", 1);
  store->DeleteValue(L"Settings", L"Scratch");
  store->Flush();
  EXPECT_EQ(ReadFileBytes(Path()), Utf16Bytes(text));
}

TEST_F(ConfigFile, ReadingRulesNormaliseAHandEditedFile) {
  // No byte-order mark, all three line breaks, comments, blanks, stray lines.
  WriteCfg(Path(),
           L"orphan=string:dropped\r\n  [ Settings ]  \rA = string:  x  \n; comment=string:no\r\n"
           L"\t\r\n  B\t=\tnumber:3\r\nno equals here\n[Plugins]\r\n;\r\n1=string:p",
           false);
  TConfigFileSettings store(Path());
  EXPECT_EQ(store.ReadString(L"Settings", L"A", L"D"), L"  x");
  EXPECT_EQ(store.ReadNumber(L"Settings", L"B", 0), 3);
  EXPECT_EQ(store.ReadString(L"Settings", L"orphan", L"D"), L"D");
  EXPECT_EQ(store.GetValueNames(L"Settings"), (TStringList{L"A", L"B", L""}));
  EXPECT_EQ(store.GetValueType(L"Settings", L"; comment"), svNone);
  store.WriteNumber(L"Settings", L"C", 1);
  store.Flush();
  EXPECT_EQ(ReadCfg(Path()), L"[Settings]\r\nA=string:  x\r\nB=number:3\r\nno equals here\r\nC=number:1\r\n\r\n"
                             L"[Plugins]\r\n1=string:p\r\n\r\n");
}

// Twin sections and values: the last one counts, writes replace it in place,
// and deleting it uncovers the one before.
TEST_F(ConfigFile, NamesIgnoreCaseAndTheLastTwinWins) {
  auto store = Open(L"[Settings]\r\nA=number:1\r\nB=number:2\r\nA=number:3\r\n\r\n"
                    L"[SETTINGS]\r\nC=number:4\r\nc=number:5\r\n\r\n[\x00c4pfel]\r\nZ=number:6\r\n");
  EXPECT_EQ(store->ReadNumber(L"settings", L"C", 0), 5);
  EXPECT_EQ(store->ReadNumber(L"Settings", L"A", 0), 0);  // only the last section counts
  EXPECT_EQ(store->ReadNumber(L"\x00e4PFEL", L"z", 0), 6);
  store->WriteNumber(L"settings", L"C", 50);
  EXPECT_TRUE(store->DeleteValue(L"Settings", L"c"));
  EXPECT_EQ(store->ReadNumber(L"Settings", L"C", 0), 4);
  for (int i = 0; i < 2; ++i) EXPECT_TRUE(store->DeleteValue(L"Settings", L"c"));  // nothing left: still True
  EXPECT_TRUE(store->DeleteValue(L"Missing", L"A"));
  store->WriteNumber(L"New", L"x", 1);  // new sections go to the end
  store->Flush();
  EXPECT_EQ(ReadCfg(Path()), L"[Settings]\r\nA=number:1\r\nB=number:2\r\nA=number:3\r\n\r\n[SETTINGS]\r\n\r\n"
                             L"[\x00c4pfel]\r\nZ=number:6\r\n\r\n[New]\r\nx=number:1\r\n\r\n");
}

TEST_F(ConfigFile, NumberTextsAsStored) {
  const std::pair<const wchar_t*, std::optional<int32_t>> cases[] = {
      {L"12", 12}, {L" 7", 7}, {L"-5", -5}, {L"$1F", 31}, {L"x1f", 31}, {L"-0x10", -16}, {L"$FFFFFFFF", -1},
      {L"-2147483648", INT32_MIN}, {L"", {}}, {L"-", {}}, {L"0x", {}}, {L"12a", {}}, {L"2147483648", {}},
      {L"$100000000", {}}, {L"99999999999999999999", {}}, {L"\t7", {}}, {L"--1", {}}, {L"\x0663", {}}};
  std::wstring text = L"[S]\r\n";
  for (size_t i = 0; i < std::size(cases); ++i) text += std::to_wstring(i) + L"=Number:" + cases[i].first + L"\r\n";
  auto store = Open(text);
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(store->ReadNumber(L"S", std::to_wstring(i), 1234), cases[i].second.value_or(1234)) << cases[i].first;
    EXPECT_EQ(store->GetValueType(L"S", std::to_wstring(i)), svNumber);  // the payload is not inspected
  }
}

// Value texts against every typed read. Size and Read are ReadData's answers
// without and with a buffer of capacity 4; Buffer is that buffer afterwards,
// from six bytes 55, so that a copy beyond the capacity shows.
TEST_F(ConfigFile, TypedReadsOfStoredTexts) {
  struct Case {
    const wchar_t *Stored, *String;  // null: no such value; the default
    TSettingValueType Type;
    int32_t Size, Read;
    Bytes Buffer = Bytes(6, 0x55);
  } const cases[] = {
      {L"string:12", L"12", svString, -1, -1},
      {L"STRING:a:b=c", L"a:b=c", svString, -1, -1},
      {L"string:", L"", svString, -1, -1},
      {L"data:0aFF", nullptr, svData, 2, 2, {0x0A, 0xFF, 0x55, 0x55, 0x55, 0x55}},
      {L"data:0102zz04", nullptr, svData, 4, -1, {1, 2, 0x55, 0x55, 0x55, 0x55}},  // bytes before a bad pair stay
      {L"data:0102030405", nullptr, svData, 5, -1},  // grew beyond the capacity: nothing copied
      {L"data:abc", nullptr, svData, -1, -1},
      {L"data:", nullptr, svData, 0, 0},
      {L"number:12a", nullptr, svNumber, -1, -1},
      {L"a:b", nullptr, svNone, -1, -1},
      {L"", nullptr, svNone, -1, -1},
      {nullptr, nullptr, svNone, -1, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Stored ? c.Stored : L"(missing)");
    auto store = Open(c.Stored ? std::wstring(L"[S]\r\nV=") + c.Stored : L"[S]");
    EXPECT_EQ(store->GetValueType(L"S", L"v"), c.Type);
    EXPECT_EQ(store->ReadNumber(L"S", L"V", -1), -1);
    EXPECT_EQ(store->ReadString(L"S", L"V", L"D"), c.String ? c.String : L"D");
    EXPECT_EQ(store->ReadData(L"S", L"V", nullptr, 0), c.Size);
    Bytes buffer(6, 0x55);
    EXPECT_EQ(store->ReadData(L"S", L"V", buffer.data(), 4), c.Read);
    EXPECT_EQ(buffer, c.Buffer);
  }
}

// Text that would read back as further lines, a section or another name is
// refused and the file stays whole: no setting can plant a "[Plugins]" section.
TEST_F(ConfigFile, TextThatWouldBreakTheFileIsRefused) {
  auto store = Open(L"[S]\r\nA=string:a\r\n\r\n");
  const std::wstring planted = L"\r\n[Plugins]\r\n1=string:C:\\evil.zvx|Evil";
  EXPECT_FALSE(store->WriteString(L"S", L"B", L"x" + planted));
  EXPECT_FALSE(store->WriteData(L"Profiles\\P" + planted, L"B", "x", 1));
  for (const wchar_t* name : {L"B=string:x", L";B", L" \t[B", L"B\n", L"\rB"})
    EXPECT_FALSE(store->WriteNumber(L"S", name, 1)) << name;
  EXPECT_TRUE(store->WriteString(L"S", L"B]", L"a[b]=;c"));  // harmless where no line can start
  store->Flush();
  EXPECT_EQ(ReadCfg(Path()), L"[S]\r\nA=string:a\r\nB]=string:a[b]=;c\r\n\r\n");
}

// ---- listing and deleting sections: ASCII letters fold, others compare exactly

TEST_F(ConfigFile, KeyNamesAndDeleteKeyMatchTheKeyAndItsSubSections) {
  auto store = Open(L"[Profiles]\r\n[Profiles\\A]\r\nx=number:1\r\n[ProfilesOld\\X\\[1][2]Y]\r\n[Keep]\r\n"
                    L"[PROFILES\\a\\[1][2]Y]\r\n[Profiles\\AB\\[1][3]Zip]\r\n[profiles\\B\\[1][3]Zip]\r\n"
                    L"[\x00c4\\C]\r\n[\x00e4\\D]\r\n[\x00e4]\r\n[N\\\x00c4]\r\n[n\\\x00e4\\x]\r\n[N\\a]\r\n[N\\A\\y]\r\n");
  const std::pair<const wchar_t*, TStringList> cases[] = {
      {L"profiles", {L"A", L"AB", L"B"}}, {L"Profiles\\ab", {L"[1][3]Zip"}}, {L"Missing", {}},
      {L"\x00c4", {L"C"}}, {L"\x00e4", {L"D"}}, {L"N", {L"\x00c4", L"\x00e4", L"a"}}};
  for (const auto& [key, names] : cases) EXPECT_EQ(store->GetKeyNames(key), names) << key;
  store->DeleteKey(L"Profiles\\A");
  store->DeleteKey(L"\x00c4");
  store->DeleteKey(L"");  // erases nothing
  EXPECT_EQ(store->GetKeyNames(L"Profiles"), (TStringList{L"AB", L"B"}));
  store->WriteNumber(L"Profiles\\A", L"z", 3);  // a fresh section after the deletion
  store->Flush();
  EXPECT_EQ(ReadCfg(Path()), L"[Profiles]\r\n\r\n[ProfilesOld\\X\\[1][2]Y]\r\n\r\n[Keep]\r\n\r\n"
                             L"[Profiles\\AB\\[1][3]Zip]\r\n\r\n[profiles\\B\\[1][3]Zip]\r\n\r\n[\x00e4\\D]\r\n\r\n"
                             L"[\x00e4]\r\n\r\n[N\\\x00c4]\r\n\r\n[n\\\x00e4\\x]\r\n\r\n[N\\a]\r\n\r\n"
                             L"[N\\A\\y]\r\n\r\n[Profiles\\A]\r\nz=number:3\r\n\r\n");
}

TEST_F(ConfigFile, CreateAndWriteFailuresRaiseButNotFromTheDestructor) {
  EXPECT_THROW(TConfigFileSettings(FDir / L"no such folder\\Test.cfg"), EZvError);

  TTempDir gone;  // taken away after the store opened its (missing) file
  auto store = std::make_unique<TConfigFileSettings>(gone / L"Test.cfg");
  ASSERT_TRUE(::RemoveDirectoryW(gone.Path().c_str()));
  EXPECT_THROW(store->ReadNumber(L"S", L"A", 0), EZvError);
  // The new-file flag went with the failed write: the store now works in memory.
  EXPECT_TRUE(store->WriteNumber(L"S", L"A", 5));
  EXPECT_EQ(store->ReadNumber(L"S", L"A", 0), 5);
  EXPECT_THROW(store->Flush(), EZvError);
  store->WriteNumber(L"S", L"A", 6);
  EXPECT_NO_THROW(store.reset());
}

}  // namespace
