// The host's view of our file system: one virtual root that lists the
// machine's logical drives as folders "<L>: (<label or drive type>)", then two
// action entries that open the Settings dialog and the help page. Below a
// drive entry the host browses the real file system (frontend/HostPaths.h).
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

namespace zv {

inline constexpr wchar_t SettingsEntryName[] = L"Press enter here to display settings...";
inline constexpr wchar_t HelpEntryName[] = L"Press enter here to display help...";

// The root enumeration's position: 0..31 the drive slots (slot i is the
// letter 'A' + i), 32 before the settings entry, 33 before the help entry, 34
// and above the end. After a GetNext, a value of at most RootLastDriveSlot
// means the entry just returned is a drive. One enumeration runs at a time.
extern int32_t RootEntryIndex;
inline constexpr int32_t RootLastDriveSlot = 31;

// The drive queries of the listing, behind an interface: tests list drives
// that the machine lacks. Real calls by default.
class IDriveQueries {
public:
  virtual ~IDriveQueries() = default;
  // Bit i set: drive 'A' + i exists.
  virtual DWORD LogicalDrives() = 0;
  // DRIVE_REMOVABLE, DRIVE_FIXED, ... of a root such as "C:\".
  virtual UINT DriveType(const std::wstring& root) = 0;
  // False when the volume's label cannot be read (no disk, no access).
  virtual bool VolumeLabel(const std::wstring& root, std::wstring& label) = 0;
};
IDriveQueries& RealDriveQueries();
// Never null; only tests replace it.
extern IDriveQueries* DriveQueries;

// "<L>: (<text>)" for drive slot 0..31, or "" when the drive is absent.
std::wstring GetDriveDisplayName(int slot);

// The root listing: the present drives in letter order, then the settings and
// the help entry; "" at the end and for every call after it until GetFirst.
std::wstring GetFirstRootEntry();
std::wstring GetNextRootEntry();
std::string GetFirstRootEntryA();
std::string GetNextRootEntryA();

// The host's find-data record of a root entry (name in ANSI): drives are
// directories, the action entries files of an unknown size and time.
void FillFindData(WIN32_FIND_DATAA& findData, const char* name, bool isDirectory);

}  // namespace zv
