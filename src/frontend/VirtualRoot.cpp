#include "frontend/VirtualRoot.h"

#include <cstring>

#include "frontend/BatchState.h"
#include "platform/TextConv.h"

namespace zv {

namespace {

constexpr int32_t SettingsEntrySlot = 32;
constexpr int32_t HelpEntrySlot = 33;
constexpr DWORD LabelBufferLength = 261;

class TRealDriveQueries : public IDriveQueries {
public:
  DWORD LogicalDrives() override { return ::GetLogicalDrives(); }
  UINT DriveType(const std::wstring& root) override { return ::GetDriveTypeW(root.c_str()); }
  bool VolumeLabel(const std::wstring& root, std::wstring& label) override {
    wchar_t buffer[LabelBufferLength] = {};
    if (!::GetVolumeInformationW(root.c_str(), buffer, LabelBufferLength, nullptr, nullptr, nullptr, nullptr, 0))
      return false;
    label = buffer;
    return true;
  }
};

// Critical-error boxes off for this thread while it asks for a label: an empty
// removable drive would otherwise raise the system's "insert a disk" box and
// hold the listing until the user answers it.
class TNoCriticalErrorBoxes {
public:
  TNoCriticalErrorBoxes() { FChanged = ::SetThreadErrorMode(::GetThreadErrorMode() | SEM_FAILCRITICALERRORS, &FOld); }
  ~TNoCriticalErrorBoxes() {
    if (FChanged) ::SetThreadErrorMode(FOld, nullptr);
  }
  TNoCriticalErrorBoxes(const TNoCriticalErrorBoxes&) = delete;
  TNoCriticalErrorBoxes& operator=(const TNoCriticalErrorBoxes&) = delete;

private:
  DWORD FOld = 0;
  BOOL FChanged;
};

// The text in brackets when no label is read, and whether a label is tried.
struct TDriveTypeText {
  bool TryLabel;
  const wchar_t* Text;
};

TDriveTypeText TypeText(UINT type, wchar_t letter) {
  switch (type) {
    case DRIVE_REMOVABLE:
      return {true, letter == L'A' || letter == L'B' ? L"3 1/2\"" : L"REMOVABLE"};
    case DRIVE_FIXED:
      return {true, L"HARDDISK"};
    case DRIVE_CDROM:
      return {true, L"CD/DVD"};
    case DRIVE_RAMDISK:
      return {false, L"RAMDISK"};
    default:
      return {false, L"UNKNOWN"};
  }
}

}  // namespace

int32_t RootEntryIndex = 0;

IDriveQueries& RealDriveQueries() {
  static TRealDriveQueries queries;
  return queries;
}

IDriveQueries* DriveQueries = &RealDriveQueries();

std::wstring GetDriveDisplayName(int slot) {
  if (slot < 0 || slot > RootLastDriveSlot || !(DriveQueries->LogicalDrives() & (DWORD(1) << slot))) return {};
  const wchar_t letter = wchar_t(L'A' + slot);
  const std::wstring root = std::wstring(1, letter) + L":\\";
  const TDriveTypeText type = TypeText(DriveQueries->DriveType(root), letter);
  std::wstring text = type.Text;
  if (type.TryLabel) {
    TNoCriticalErrorBoxes quiet;
    std::wstring label;
    if (DriveQueries->VolumeLabel(root, label)) text = label;
  }
  return std::wstring(1, letter) + L": (" + text + L")";
}

std::wstring GetFirstRootEntry() {
  RootEntryIndex = 0;
  return GetNextRootEntry();
}

std::wstring GetNextRootEntry() {
  if (RootEntryIndex > HelpEntrySlot) return {};
  while (RootEntryIndex <= RootLastDriveSlot) {
    std::wstring name = GetDriveDisplayName(RootEntryIndex++);
    if (!name.empty()) return name;
  }
  return RootEntryIndex++ == SettingsEntrySlot ? SettingsEntryName : HelpEntryName;
}

std::string GetFirstRootEntryA() { return WideToAnsi(GetFirstRootEntry()); }
std::string GetNextRootEntryA() { return WideToAnsi(GetNextRootEntry()); }

void FillFindData(WIN32_FIND_DATAA& findData, const char* name, bool isDirectory) {
  std::memset(&findData, 0, sizeof(findData));
  if (isDirectory) {
    findData.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
  } else {
    findData.dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
    findData.nFileSizeLow = 0xFFFFFFFE;
    findData.nFileSizeHigh = OldHostInterface ? 0 : 0xFFFFFFFF;
  }
  findData.ftLastWriteTime.dwHighDateTime = 0xFFFFFFFF;
  findData.ftLastWriteTime.dwLowDateTime = 0xFFFFFFFE;
  const std::string_view text = name ? std::string_view(name) : std::string_view();
  const size_t length = AnsiPrefixLength(text, sizeof(findData.cFileName) - 1, CP_ACP);
  std::memcpy(findData.cFileName, text.data(), length);
}

}  // namespace zv
