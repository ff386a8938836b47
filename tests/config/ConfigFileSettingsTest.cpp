// The configuration file store: the .cfg format, typed values, section
// listing and deletion, and when and how the file is written.
#include <gtest/gtest.h>

#include "config/ConfigFileSettings.h"
#include "config/NumberText.h"
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

TEST(NumberText, AcceptsTheStoredNumberForms) {
  struct Case {
    const wchar_t* Text;
    bool Ok;
    int32_t Value;
  };
  const Case cases[] = {
      {L"12", true, 12},          {L"  7", true, 7},          {L"+5", true, 5},
      {L"-5", true, -5},          {L"$1F", true, 31},         {L"x1f", true, 31},
      {L"X1F", true, 31},         {L"0x1F", true, 31},        {L"0X1f", true, 31},
      {L"-$10", true, -16},       {L"$FFFFFFFF", true, -1},   {L"2147483647", true, 2147483647},
      {L"-2147483648", true, INT32_MIN}, {L"007", true, 7},   {L"0", true, 0},
      {L"", false, 0},            {L"+", false, 0},           {L"-", false, 0},
      {L"$", false, 0},           {L"0x", false, 0},          {L"12a", false, 0},
      {L"2147483648", false, 0},  {L"-2147483649", false, 0}, {L"$100000000", false, 0},
      {L"99999999999999999999", false, 0}, {L"7 ", false, 0}, {L"\t7", false, 0},
      {L"1e3", false, 0},         {L"--1", false, 0},         {L"\x0663", false, 0},
  };
  for (const Case& c : cases) {
    int32_t value = 1234;
    EXPECT_EQ(TryTextToInt(c.Text, value), c.Ok) << c.Text;
    if (c.Ok) {
      EXPECT_EQ(value, c.Value) << c.Text;
    }
  }
  EXPECT_THROW(TextToInt(L"abc"), EZvConvertError);
}

// ---- format

TEST_F(ConfigFile, MissingFileIsCreatedAsByteOrderMarkByTheFirstOperationEvenARead) {
  TConfigFileSettings store(Path());
  EXPECT_FALSE(FileExists(Path()));
  EXPECT_EQ(store.ReadNumber(L"Settings", L"A", 9), 9);
  EXPECT_EQ(ReadFileBytes(Path()), (std::vector<unsigned char>{0xFF, 0xFE}));
}

TEST_F(ConfigFile, WritesSectionsLinesAndBlankLinesWithCrLf) {
  {
    TConfigFileSettings store(Path());
    const unsigned char bytes[] = {0x00, 0x7F, 0xFF};
    store.WriteNumber(L"Settings", L"MemUsage", -5);
    store.WriteString(L"Plugins", L"1", L".\\Zip.zvx|Zip");
    store.WriteData(L"Settings", L"Block", bytes, 3);
    store.WriteData(L"Settings", L"Empty", bytes, 0);
    store.WriteNumber(L"Settings", L"Zero", 0);
  }
  EXPECT_EQ(ReadFileBytes(Path()), Utf16Bytes(L"[Settings]\r\nMemUsage=number:-5\r\nBlock=data:007fff\r\n"
                                               L"Empty=data:\r\nZero=number:0\r\n\r\n"
                                               L"[Plugins]\r\n1=string:.\\Zip.zvx|Zip\r\n\r\n"));
}

TEST_F(ConfigFile, EmptyDocumentIsWrittenAsByteOrderMarkAlone) {
  auto store = Open(L"[A]\r\nx=number:1\r\n");
  store->DeleteKey(L"A");
  store->Flush();
  EXPECT_EQ(ReadFileBytes(Path()), (std::vector<unsigned char>{0xFF, 0xFE}));
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
  EXPECT_EQ(store.ReadString(L"Settings", L"no equals here", L"D"), L"D");
  EXPECT_EQ(store.GetValueNames(L"Settings"), (TStringList{L"A", L"B", L""}));
  EXPECT_EQ(store.GetValueType(L"Settings", L"; comment"), svNone);
  EXPECT_EQ(store.ReadString(L"Plugins", L"1", L"D"), L"p");
  store.WriteNumber(L"Settings", L"C", 1);
  store.Flush();
  EXPECT_EQ(ReadCfg(Path()), L"[Settings]\r\nA=string:  x\r\nB=number:3\r\nno equals here\r\nC=number:1\r\n\r\n"
                             L"[Plugins]\r\n1=string:p\r\n\r\n");
}

TEST_F(ConfigFile, NamesIgnoreCaseAndTheLastTwinWins) {
  auto store = Open(L"[Settings]\r\nA=number:1\r\na=number:2\r\nB=number:3\r\n\r\n"
                    L"[SETTINGS]\r\nC=number:4\r\n\r\n[\x00c4pfel]\r\nZ=number:5\r\n");
  EXPECT_EQ(store->ReadNumber(L"settings", L"c", 0), 4);
  EXPECT_EQ(store->ReadNumber(L"Settings", L"B", 0), 0);  // only the last section counts
  EXPECT_EQ(store->ReadNumber(L"\x00e4PFEL", L"z", 0), 5);
  store->WriteNumber(L"settings", L"c", 40);  // replaces in place in the last twin
  store->DeleteKey(L"SETTINGS\\none");
  store->WriteNumber(L"New", L"x", 1);  // new sections go to the end
  store->Flush();
  EXPECT_EQ(ReadCfg(Path()), L"[Settings]\r\nA=number:1\r\na=number:2\r\nB=number:3\r\n\r\n"
                             L"[SETTINGS]\r\nc=number:40\r\n\r\n[\x00c4pfel]\r\nZ=number:5\r\n\r\n"
                             L"[New]\r\nx=number:1\r\n\r\n");
}

TEST_F(ConfigFile, RemovingTheLastTwinUncoversTheOneBefore) {
  auto store = Open(L"[S]\r\nA=number:1\r\nB=number:2\r\nA=number:3\r\n");
  EXPECT_EQ(store->ReadNumber(L"S", L"a", 0), 3);
  EXPECT_TRUE(store->DeleteValue(L"S", L"A"));
  EXPECT_EQ(store->ReadNumber(L"S", L"A", 0), 1);
  EXPECT_TRUE(store->DeleteValue(L"S", L"A"));
  EXPECT_TRUE(store->DeleteValue(L"S", L"A"));  // nothing left: still True
  EXPECT_TRUE(store->DeleteValue(L"Missing", L"A"));
  EXPECT_EQ(store->GetValueType(L"S", L"A"), svNone);
  EXPECT_EQ(store->GetValueNames(L"S"), TStringList{L"B"});
  EXPECT_TRUE(store->GetValueNames(L"Missing").empty());
}

// ---- typed values

TEST_F(ConfigFile, TypedReadsOfStoredTexts) {
  auto store = Open(L"[S]\r\nn1=number:12\r\nn2=Number:$1F\r\nn3=number: 7\r\nn4=number:12a\r\nn5=number:\r\n"
                    L"n6=number:2147483648\r\nn7=NUMBER:-0x10\r\ns1=string:12\r\ns2=string:a:b=c\r\n"
                    L"s3=STRING:\r\nx1=a:b\r\nx2=plain\r\nx3=\r\nx4=:12\r\n"
                    L"d1=data:0aFF\r\nd2=data:0g\r\nd3=data:abc\r\nd4=data:\r\nd5=DATA:Ab\r\n");
  EXPECT_EQ(store->ReadNumber(L"S", L"n1", -1), 12);
  EXPECT_EQ(store->ReadNumber(L"S", L"n2", -1), 31);
  EXPECT_EQ(store->ReadNumber(L"S", L"n3", -1), 7);
  EXPECT_EQ(store->ReadNumber(L"S", L"n4", -1), -1);
  EXPECT_EQ(store->ReadNumber(L"S", L"n5", -1), -1);
  EXPECT_EQ(store->ReadNumber(L"S", L"n6", -1), -1);
  EXPECT_EQ(store->ReadNumber(L"S", L"n7", -1), -16);
  EXPECT_EQ(store->ReadNumber(L"S", L"s1", -1), -1);
  EXPECT_EQ(store->GetValueType(L"S", L"s1"), svString);
  EXPECT_EQ(store->GetValueType(L"S", L"n4"), svNumber);  // the payload is not inspected
  EXPECT_EQ(store->ReadString(L"S", L"s2", L"D"), L"a:b=c");
  EXPECT_EQ(store->ReadString(L"S", L"s3", L"D"), L"");
  EXPECT_EQ(store->ReadString(L"S", L"n1", L"D"), L"D");
  for (const wchar_t* name : {L"x1", L"x2", L"x3", L"x4", L"missing"}) {
    EXPECT_EQ(store->ReadString(L"S", name, L"D"), L"D") << name;
    EXPECT_EQ(store->ReadNumber(L"S", name, -1), -1) << name;
    EXPECT_EQ(store->ReadData(L"S", name, nullptr), -1) << name;
    EXPECT_EQ(store->GetValueType(L"S", name), svNone) << name;
  }
  unsigned char buffer[4] = {0x55, 0x55, 0x55, 0x55};
  EXPECT_EQ(store->ReadData(L"S", L"d1", nullptr), 2);
  EXPECT_EQ(store->ReadData(L"S", L"d1", buffer), 2);
  EXPECT_EQ(buffer[0], 0x0A);
  EXPECT_EQ(buffer[1], 0xFF);
  EXPECT_EQ(buffer[2], 0x55);
  EXPECT_EQ(store->ReadData(L"S", L"d2", nullptr), 1);
  EXPECT_EQ(store->ReadData(L"S", L"d2", buffer), -1);
  EXPECT_EQ(store->ReadData(L"S", L"d3", nullptr), -1);
  EXPECT_EQ(store->ReadData(L"S", L"d3", buffer), -1);
  EXPECT_EQ(store->ReadData(L"S", L"d4", nullptr), 0);
  EXPECT_EQ(store->ReadData(L"S", L"d4", buffer), 0);
  EXPECT_EQ(store->ReadData(L"S", L"d5", buffer), 1);
  EXPECT_EQ(buffer[0], 0xAB);
  EXPECT_EQ(store->GetValueType(L"S", L"d3"), svData);
  EXPECT_EQ(store->ReadData(L"S", L"s2", nullptr), -1);
}

TEST_F(ConfigFile, BadHexPairLeavesTheBytesBeforeItWritten) {
  auto store = Open(L"[S]\r\nd=data:0102zz04\r\n");
  unsigned char buffer[4] = {};
  EXPECT_EQ(store->ReadData(L"S", L"d", buffer), -1);
  EXPECT_EQ(buffer[0], 1);
  EXPECT_EQ(buffer[1], 2);
  EXPECT_EQ(buffer[3], 0);
}

TEST_F(ConfigFile, WrittenValuesReadBackAfterReload) {
  std::vector<unsigned char> all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<unsigned char>(i);
  {
    TConfigFileSettings store(Path());
    for (int32_t n : {0, 1, -1, INT32_MAX, INT32_MIN}) store.WriteNumber(L"N", std::to_wstring(n), n);
    store.WriteString(L"S", L"colons", L"a:b=c;d");
    store.WriteString(L"S", L"blanks", L"  lead and trail  ");
    store.WriteString(L"S", L"empty", L"");
    store.WriteData(L"D", L"all", all.data(), 256);
    store.WriteData(L"D", L"none", nullptr, 5);
  }
  TConfigFileSettings store(Path());
  for (int32_t n : {0, 1, -1, INT32_MAX, INT32_MIN}) EXPECT_EQ(store.ReadNumber(L"N", std::to_wstring(n), 7), n);
  EXPECT_EQ(store.ReadString(L"S", L"colons", L"D"), L"a:b=c;d");
  EXPECT_EQ(store.ReadString(L"S", L"blanks", L"D"), L"  lead and trail");  // the file trims line ends
  EXPECT_EQ(store.ReadString(L"S", L"empty", L"D"), L"");
  std::vector<unsigned char> back(256);
  EXPECT_EQ(store.ReadData(L"D", L"all", back.data()), 256);
  EXPECT_EQ(back, all);
  EXPECT_EQ(store.ReadData(L"D", L"none", nullptr), 0);
}

// ---- listing and deleting sections

TEST_F(ConfigFile, KeyNamesAreTheDirectChildrenEachOnce) {
  auto store = Open(L"[Profiles]\r\n[ProfilesOld\\X\\[1][2]Y]\r\n[PROFILES\\a\\[1][2]Y]\r\n[Profiles\\A\\[2][5]Crypt]\r\n"
                    L"[profiles\\B]\r\n[Profiles\\B\\[1][3]Zip]\r\n[Other\\C]\r\n");
  EXPECT_EQ(store->GetKeyNames(L"Profiles"), (TStringList{L"a", L"B"}));
  EXPECT_EQ(store->GetKeyNames(L"profiles\\B"), TStringList{L"[1][3]Zip"});
  EXPECT_TRUE(store->GetKeyNames(L"Missing").empty());
}

TEST_F(ConfigFile, DeleteKeyErasesTheSectionAndItsSubSectionsOnly) {
  auto store = Open(L"[Profiles\\A]\r\nx=number:1\r\n[Keep]\r\n[profiles\\a\\[1][3]Zip]\r\nL=number:1\r\n"
                    L"[Profiles\\AB\\[1][3]Zip]\r\nL=number:2\r\n[Profiles\\A]\r\ny=number:2\r\n");
  store->DeleteKey(L"Profiles\\A");
  EXPECT_EQ(store->ReadNumber(L"Profiles\\A", L"y", -1), -1);
  EXPECT_EQ(store->ReadNumber(L"Profiles\\AB\\[1][3]Zip", L"L", -1), 2);
  store->WriteNumber(L"Profiles\\A", L"z", 3);  // a fresh section after the deletion
  store->DeleteKey(L"");                        // erases nothing
  store->Flush();
  EXPECT_EQ(ReadCfg(Path()),
            L"[Keep]\r\n\r\n[Profiles\\AB\\[1][3]Zip]\r\nL=number:2\r\n\r\n[Profiles\\A]\r\nz=number:3\r\n\r\n");
}

TEST_F(ConfigFile, LargeFileKeepsOrderAndFindsEveryValue) {
  // Lookups are hashed; a linear search here would make the test crawl.
  std::wstring text;
  for (int s = 0; s < 5000; ++s) {
    text += L"[Section" + std::to_wstring(s) + L"]\r\n";
    for (int v = 0; v < 8; ++v) text += L"V" + std::to_wstring(v) + L"=number:" + std::to_wstring(s * 8 + v) + L"\r\n";
  }
  auto store = Open(text);
  for (int s = 0; s < 5000; ++s)
    for (int v = 0; v < 8; ++v)
      ASSERT_EQ(store->ReadNumber(L"SECTION" + std::to_wstring(s), L"v" + std::to_wstring(v), -1), s * 8 + v);
  for (int s = 0; s < 5000; s += 2) store->WriteNumber(L"Section" + std::to_wstring(s), L"V3", -s);
  store->Flush();
  TConfigFileSettings again(Path());
  EXPECT_EQ(again.ReadNumber(L"Section4998", L"V3", 0), -4998);
  EXPECT_EQ(again.ReadNumber(L"Section4999", L"V3", 0), 4999 * 8 + 3);
  EXPECT_EQ(again.GetValueNames(L"Section10").size(), 8u);
}

// ---- life of the store

TEST_F(ConfigFile, ReleaseAnswersTrueWhenTheLastHolderLetsGo) {
  TConfigFileSettings store(Path());
  store.AddRef();
  store.AddRef();
  EXPECT_FALSE(store.Release());
  EXPECT_FALSE(store.Release());
  EXPECT_TRUE(store.Release());
}

TEST_F(ConfigFile, OpenProbeRaisesForEverythingButAMissingFile) {
  WriteCfg(Path(), L"[S]\r\n");
  {
    TExclusiveOpen holder(Path());
    ASSERT_TRUE(holder.Valid());
    try {
      TConfigFileSettings store(Path());
      ADD_FAILURE() << "a file held without sharing opened";
    } catch (const EZvError& e) {
      EXPECT_EQ(e.Message(), L"");
    }
  }
  EXPECT_THROW(TConfigFileSettings(FDir / L"no such folder\\Test.cfg"), EZvError);
}

TEST_F(ConfigFile, ChangesReachTheDiskOnlyAtFlushOrDestruction) {
  const std::vector<unsigned char> before = Utf16Bytes(L"[S]\r\nA=number:1\r\n");
  WriteFileBytes(Path(), before);
  auto store = std::make_unique<TConfigFileSettings>(Path());
  store->WriteNumber(L"S", L"A", 2);
  EXPECT_EQ(ReadFileBytes(Path()), before);
  store->Flush();
  EXPECT_EQ(ReadCfg(Path()), L"[S]\r\nA=number:2\r\n\r\n");
  store->WriteNumber(L"S", L"B", 3);
  store.reset();
  EXPECT_EQ(ReadCfg(Path()), L"[S]\r\nA=number:2\r\nB=number:3\r\n\r\n");

  // An unmodified store does not write: a file replaced meanwhile stays as it is.
  store = std::make_unique<TConfigFileSettings>(Path());
  store->ReadNumber(L"S", L"A", 0);
  WriteFileBytes(Path(), before);
  store.reset();
  EXPECT_EQ(ReadFileBytes(Path()), before);
}

// A failed write must not cost the previous file: the new content goes to a
// temporary file that replaces the old one only once it is complete. Here the
// replacement fails because a reader keeps the file without delete sharing.
TEST_F(ConfigFile, FailedFlushLeavesThePreviousFileIntactAndNoLeftovers) {
  const std::vector<unsigned char> before = Utf16Bytes(L"[S]\r\nA=number:1\r\n\r\n");
  WriteFileBytes(Path(), before);
  auto store = std::make_unique<TConfigFileSettings>(Path());
  store->WriteNumber(L"S", L"A", 2);
  HANDLE reader = ::CreateFileW(Path().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  EXPECT_THROW(store->Flush(), EZvError);
  ::CloseHandle(reader);
  EXPECT_EQ(ReadFileBytes(Path()), before);
  EXPECT_EQ(ListFiles(FDir.Path(), L"*"), std::vector<std::wstring>{L"Test.cfg"});
  // Flush cleared the modified flag before it failed: the destructor writes nothing.
  store.reset();
  EXPECT_EQ(ReadFileBytes(Path()), before);
}

TEST_F(ConfigFile, WriteFailuresRaiseFromFirstOperationAndFlushButNotFromDestructor) {
  const std::wstring folder = FDir / L"gone";
  ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
  auto store = std::make_unique<TConfigFileSettings>(folder + L"\\Test.cfg");
  ASSERT_TRUE(::RemoveDirectoryW(folder.c_str()));
  EXPECT_THROW(store->ReadNumber(L"S", L"A", 0), EZvError);
  // The new-file flag went with the failed write: the store now works in memory.
  EXPECT_TRUE(store->WriteNumber(L"S", L"A", 5));
  EXPECT_EQ(store->ReadNumber(L"S", L"A", 0), 5);
  EXPECT_THROW(store->Flush(), EZvError);
  store->WriteNumber(L"S", L"A", 6);
  EXPECT_NO_THROW(store.reset());
  EXPECT_FALSE(FileExists(folder + L"\\Test.cfg"));
}

TEST_F(ConfigFile, HiddenFileStaysHiddenAfterAWrite) {
  WriteCfg(Path(), L"[S]\r\n");
  ::SetFileAttributesW(Path().c_str(), FILE_ATTRIBUTE_HIDDEN);
  {
    TConfigFileSettings store(Path());
    store.WriteNumber(L"S", L"A", 1);
  }
  EXPECT_NE(::GetFileAttributesW(Path().c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
  EXPECT_EQ(ReadCfg(Path()), L"[S]\r\nA=number:1\r\n\r\n");
}

}  // namespace
