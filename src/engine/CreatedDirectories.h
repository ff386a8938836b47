// The local subdirectories that a GET batch made for its outputs and that no
// output has reached yet: at the end of the batch they are removed again
// where they stayed empty. One entry per directory, "<Root>|<Path>" of a file
// record ("|" cannot occur in a Windows path, so the first one separates the two).
//
// Lifecycle: none outside a GET batch. The batch's start makes the list, each
// file call adds its output's directory, the pipe runner takes out the entry of
// every output it saved, and the batch's end removes the directories left and
// drops the list. The host makes these calls one after the other (start, files,
// end), so the list has no lock.
#pragma once
#include <optional>
#include <string>
#include <vector>

namespace zv {

struct TFileProperties;

inline std::optional<std::vector<std::wstring>> CreatedDirectories;

// "<Root>|<Path>" of a record.
std::wstring CreatedDirectoryEntry(const TFileProperties& props);
// Adds the record's directory unless the list is absent, the record's Path is
// empty (the root itself was not made by us) or the entry is already there.
void AddCreatedDirectory(const TFileProperties& props);
// Takes the first equal entry out, if the list exists and holds one.
void RemoveCreatedDirectoryEntry(const TFileProperties& props);

}  // namespace zv
