#include "engine/CreatedDirectories.h"

#include <algorithm>

#include "engine/GeneralStream.h"

namespace zv {

std::wstring CreatedDirectoryEntry(const TFileProperties& props) { return props.Root + L"|" + props.Path; }

void AddCreatedDirectory(const TFileProperties& props) {
  if (!CreatedDirectories || props.Path.empty()) return;
  const std::wstring entry = CreatedDirectoryEntry(props);
  if (std::find(CreatedDirectories->begin(), CreatedDirectories->end(), entry) == CreatedDirectories->end())
    CreatedDirectories->push_back(entry);
}

void RemoveCreatedDirectoryEntry(const TFileProperties& props) {
  if (!CreatedDirectories) return;
  const auto found = std::find(CreatedDirectories->begin(), CreatedDirectories->end(), CreatedDirectoryEntry(props));
  if (found != CreatedDirectories->end()) CreatedDirectories->erase(found);
}

}  // namespace zv
