// The memory blocks the system has handed to one plug-in instance: texts and
// data the plug-in may keep until it frees them through its resources table,
// or until the instance is unloaded. Not locked itself: the plug-in library
// object that owns it serialises every operation.
#pragma once
#include <cstdint>
#include <string>
#include <unordered_map>

namespace zv {

enum TExternalResourceKind : uint8_t {
  erAnsiString = 0,  // zero-terminated ANSI text
  erWideString = 1,  // zero-terminated UTF-16 text (none is made today)
  erData = 2,        // raw bytes
};

struct TExternalResource {
  TExternalResourceKind Kind;
  int32_t Size;  // bytes, without a text's terminating zero
};

class TExternalResources {
public:
  TExternalResources() = default;
  ~TExternalResources();  // frees every block still handed out
  TExternalResources(const TExternalResources&) = delete;
  TExternalResources& operator=(const TExternalResources&) = delete;

  // A new zero-terminated copy of the text in the ANSI code page (an empty
  // text gives an empty copy). Its registered size is the byte count of that
  // copy, so GetSize tells the plug-in how many bytes it may read. Null when
  // it fails.
  char* AllocAnsiString(const std::wstring& text) noexcept;
  // A new copy of size bytes; null for a size of 0 or less or when it fails.
  void* AllocData(const void* source, int32_t size) noexcept;
  // Frees a block handed out here; false for any other pointer.
  bool Release(void* block) noexcept;
  void ReleaseAll() noexcept;
  // The registered size; -1 for a pointer not handed out here.
  int32_t GetSize(const void* block) const noexcept;

private:
  // Every kind comes from the C heap and goes back to it.
  std::unordered_map<const void*, TExternalResource> FResources;
};

}  // namespace zv
