#include "config/ConfigFileSettings.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <unordered_set>
#include <string_view>
#include <vector>

#include "config/NumberText.h"
#include "platform/WinHandle.h"
#include "platform/ZvError.h"

namespace zv {

namespace {

constexpr wchar_t kByteOrderMark = 0xFEFF;

// ---- the file on disk

struct TFileText {
  std::wstring Text;
  bool Utf8 = false;  // began with the UTF-8 byte-order mark: a user's file, not ours
};

TFileText ReadWholeFile(const std::wstring& fileName) {
  TScopedFile file(::CreateFileW(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) RaiseLastOSError();
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(file.Get(), &size)) RaiseLastOSError();
  if (size.QuadPart > 0x3FFFFFFF) RaiseOSError(ERROR_FILE_TOO_LARGE);

  std::vector<char> bytes(static_cast<size_t>(size.QuadPart));
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD got = 0;
    if (!::ReadFile(file.Get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &got, nullptr))
      RaiseLastOSError();
    if (got == 0) break;  // the file shrank meanwhile: take what is there
    done += got;
  }
  // UTF-16 little-endian whatever the file holds; an odd last byte is dropped.
  TFileText result;
  result.Utf8 = done >= 3 && bytes[0] == '\xEF' && bytes[1] == '\xBB' && bytes[2] == '\xBF';
  std::wstring& text = result.Text;
  text.assign(done / 2, L'\0');
  for (size_t i = 0; i < text.size(); ++i)
    text[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                   (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  if (!text.empty() && text.front() == kByteOrderMark) text.erase(0, 1);
  return result;
}

std::wstring TempNameBeside(const std::wstring& fileName) {
  static std::atomic<unsigned> counter{0};
  wchar_t suffix[40];
  ::wsprintfW(suffix, L".%lx-%x.tmp", ::GetCurrentProcessId(), counter.fetch_add(1));
  return fileName + suffix;
}

void WriteAll(HANDLE file, const std::wstring& text) {
  const char* data = reinterpret_cast<const char*>(text.data());
  size_t left = text.size() * sizeof(wchar_t);
  while (left > 0) {
    DWORD written = 0;
    const DWORD chunk = left > 0x100000 ? 0x100000 : static_cast<DWORD>(left);
    if (!::WriteFile(file, data, chunk, &written, nullptr)) RaiseLastOSError();
    if (written == 0) RaiseOSError(ERROR_WRITE_FAULT);
    data += written;
    left -= written;
  }
}

// Writes beside the file and swaps the copy in only once it is complete on
// disk, so a full disk or a crash leaves the previous file as it was.
void ReplaceFileContent(const std::wstring& fileName, const std::wstring& text) {
  std::wstring tempName;
  TScopedFile temp;
  for (int attempt = 0; attempt < 16 && !temp; ++attempt) {
    tempName = TempNameBeside(fileName);
    temp.Reset(::CreateFileW(tempName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                             nullptr));
    if (!temp && ::GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (!temp) RaiseLastOSError();
  try {
    WriteAll(temp.Get(), text);
    if (!::FlushFileBuffers(temp.Get())) RaiseLastOSError();
    temp.Reset();
    // Hidden or system files stay so.
    const DWORD attributes = ::GetFileAttributesW(fileName.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)))
      ::SetFileAttributesW(tempName.c_str(), attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    if (!::MoveFileExW(tempName.c_str(), fileName.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      RaiseLastOSError();
  } catch (...) {
    temp.Reset();
    ::SetFileAttributesW(tempName.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(tempName.c_str());
    throw;
  }
}

// ---- value text: "<type word>:<payload>"

struct TValueText {
  std::wstring Type;  // ASCII letters lowered; empty when the text has no type
  std::wstring_view Payload;
};

TValueText SplitValue(const std::wstring* text) {
  if (!text) return {};
  const size_t colon = text->find(L':');
  if (colon == std::wstring::npos) return {};
  return {AsciiLower(std::wstring_view(*text).substr(0, colon)), std::wstring_view(*text).substr(colon + 1)};
}

// ---- text that would break the file: written raw, it would be read back as
// further lines, another section or another name (a plug-in setting could
// add a "[Plugins]" section that loads a library at the next start)

bool HasLineBreak(std::wstring_view text) { return text.find_first_of(L"\r\n") != std::wstring_view::npos; }

bool FitsTheFile(const std::wstring& key, const std::wstring& name) {
  if (HasLineBreak(key) || HasLineBreak(name) || name.find(L'=') != std::wstring::npos) return false;
  // The reader trims blanks and control characters first, then tells a
  // comment or a section by the first character left.
  const auto first = std::find_if(name.begin(), name.end(), [](wchar_t c) { return c > L' '; });
  return first == name.end() || (*first != L';' && *first != L'[');
}

}  // namespace

TConfigFileSettings::TConfigFileSettings(const std::wstring& fileName) : FFileName(fileName) {
  // The probe fails for a file that someone else holds open, or that we may not write.
  {
    TScopedFile probe(::CreateFileW(fileName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!probe) {
      if (::GetLastError() != ERROR_FILE_NOT_FOUND) throw EZvError(L"");
      FNewFile = true;
    }
  }
  if (!FNewFile) {
    const TFileText file = ReadWholeFile(fileName);
    FIni.Load(file.Text);
    FForeign = file.Utf8;
  }
  FModified = false;
}

TConfigFileSettings::~TConfigFileSettings() {
  if (!FModified || FForeign) return;
  try {
    WriteDocument();
  } catch (...) {
    // Nobody can be told at this point; the changes since the last write are lost.
  }
}

void TConfigFileSettings::Flush() {
  RefuseForeignFile();
  FModified = false;
  FNewFile = false;
  WriteDocument();
}

void TConfigFileSettings::RefuseForeignFile() const {
  if (FForeign) throw EZvError(L"The file " + FFileName + L" is not in the format of Zentavo and is left as it is.");
}

void TConfigFileSettings::BeginChange() {
  ApplyNewFileRule();
  RefuseForeignFile();
}

void TConfigFileSettings::WriteDocument() const {
  std::wstring text(1, kByteOrderMark);
  text += FIni.Save();
  ReplaceFileContent(FFileName, text);
}

void TConfigFileSettings::ApplyNewFileRule() {
  if (FNewFile) Flush();
}

const std::wstring* TConfigFileSettings::FindValue(const std::wstring& key, const std::wstring& name) const {
  const TIniSection* section = FIni.FindSection(key);
  return section ? section->Find(name) : nullptr;
}

void TConfigFileSettings::SetValue(const std::wstring& key, const std::wstring& name, const std::wstring& text) {
  FIni.ProvideSection(key).Set(name, text);
  FModified = true;
}

int32_t TConfigFileSettings::ReadNumber(const std::wstring& key, const std::wstring& name, int32_t defaultValue) {
  ApplyNewFileRule();
  const TValueText value = SplitValue(FindValue(key, name));
  int32_t number = 0;
  if (value.Type == L"number" && TryTextToInt(value.Payload, number)) return number;
  return defaultValue;
}

std::wstring TConfigFileSettings::ReadString(const std::wstring& key, const std::wstring& name,
                                             const std::wstring& defaultValue) {
  ApplyNewFileRule();
  const TValueText value = SplitValue(FindValue(key, name));
  return value.Type == L"string" ? std::wstring(value.Payload) : defaultValue;
}

int32_t TConfigFileSettings::ReadData(const std::wstring& key, const std::wstring& name, void* buffer,
                                      int32_t capacity) {
  ApplyNewFileRule();
  const TValueText value = SplitValue(FindValue(key, name));
  if (value.Type != L"data" || value.Payload.size() % 2 != 0) return -1;
  const int32_t count = static_cast<int32_t>(value.Payload.size() / 2);
  if (!buffer) return count;
  if (count > capacity) return -1;
  auto* bytes = static_cast<unsigned char*>(buffer);
  for (int32_t i = 0; i < count; ++i) {
    const int high = HexDigitValue(value.Payload[2 * i]);
    const int low = HexDigitValue(value.Payload[2 * i + 1]);
    if (high < 0 || low < 0) return -1;
    bytes[i] = static_cast<unsigned char>(high * 16 + low);
  }
  return count;
}

bool TConfigFileSettings::WriteNumber(const std::wstring& key, const std::wstring& name, int32_t value) {
  BeginChange();
  if (!FitsTheFile(key, name)) return false;
  SetValue(key, name, L"number:" + std::to_wstring(value));
  return true;
}

bool TConfigFileSettings::WriteString(const std::wstring& key, const std::wstring& name,
                                      const std::wstring& value) {
  BeginChange();
  if (!FitsTheFile(key, name) || HasLineBreak(value)) return false;
  SetValue(key, name, L"string:" + value);
  return true;
}

bool TConfigFileSettings::WriteData(const std::wstring& key, const std::wstring& name, const void* buffer,
                                    int32_t size) {
  BeginChange();
  if (!FitsTheFile(key, name)) return false;
  static const wchar_t kDigits[] = L"0123456789abcdef";
  std::wstring text = L"data:";
  if (buffer && size > 0) {
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    text.reserve(text.size() + 2 * static_cast<size_t>(size));
    for (int32_t i = 0; i < size; ++i) {
      text += kDigits[bytes[i] >> 4];
      text += kDigits[bytes[i] & 15];
    }
  }
  SetValue(key, name, text);
  return true;
}

bool TConfigFileSettings::DeleteValue(const std::wstring& key, const std::wstring& name) {
  BeginChange();
  if (TIniSection* section = FIni.FindSection(key)) section->Remove(name);
  FModified = true;
  return true;
}

TSettingValueType TConfigFileSettings::GetValueType(const std::wstring& key, const std::wstring& name) {
  ApplyNewFileRule();
  const std::wstring type = SplitValue(FindValue(key, name)).Type;
  if (type == L"number") return svNumber;
  if (type == L"string") return svString;
  if (type == L"data") return svData;
  return svNone;
}

TStringList TConfigFileSettings::GetValueNames(const std::wstring& key) {
  ApplyNewFileRule();
  TStringList names;
  if (const TIniSection* section = FIni.FindSection(key)) {
    names.reserve(section->Lines().size());
    for (const TIniLine& line : section->Lines()) names.push_back(line.Name);
  }
  return names;
}

TStringList TConfigFileSettings::GetKeyNames(const std::wstring& key) {
  ApplyNewFileRule();
  const std::wstring prefix = AsciiLower(key) + L'\\';
  TStringList names;
  std::unordered_set<std::wstring> seen;
  for (const TIniSection& section : FIni.Sections()) {
    const std::wstring& full = section.Name();
    if (full.size() < prefix.size() || AsciiLower(std::wstring_view(full).substr(0, prefix.size())) != prefix)
      continue;
    std::wstring child = full.substr(prefix.size());
    const size_t slash = child.find(L'\\');
    if (slash != std::wstring::npos) child.resize(slash);
    // Twins are told apart as the prefix is: by ASCII letters only.
    if (seen.insert(AsciiLower(child)).second) names.push_back(std::move(child));
  }
  return names;
}

void TConfigFileSettings::DeleteKey(const std::wstring& key) {
  BeginChange();
  if (!key.empty()) {
    const std::wstring lowered = AsciiLower(key);
    const std::wstring prefix = lowered + L'\\';
    FIni.EraseSections([&](const TIniSection& section) {
      const std::wstring name = AsciiLower(section.Name());
      return name == lowered || name.compare(0, prefix.size(), prefix) == 0;
    });
  }
  FModified = true;
}

}  // namespace zv
