#include "plugins/ExternalResources.h"

#include <cstdlib>
#include <cstring>

#include "platform/TextConv.h"

namespace zv {

TExternalResources::~TExternalResources() { ReleaseAll(); }

char* TExternalResources::AllocAnsiString(const std::wstring& text) noexcept {
  try {
    const std::string ansi = WideToAnsi(text);
    auto* block = static_cast<char*>(std::malloc(ansi.size() + 1));
    if (!block) return nullptr;
    std::memcpy(block, ansi.c_str(), ansi.size() + 1);
    try {
      FResources.emplace(block, TExternalResource{erAnsiString, static_cast<int32_t>(ansi.size())});
    } catch (...) {
      std::free(block);
      return nullptr;
    }
    return block;
  } catch (...) {
    return nullptr;
  }
}

void* TExternalResources::AllocData(const void* source, int32_t size) noexcept {
  if (size <= 0) return nullptr;
  void* block = std::malloc(static_cast<size_t>(size));
  if (!block) return nullptr;
  std::memcpy(block, source, static_cast<size_t>(size));
  try {
    FResources.emplace(block, TExternalResource{erData, size});
  } catch (...) {
    std::free(block);
    return nullptr;
  }
  return block;
}

bool TExternalResources::Release(void* block) noexcept {
  const auto found = FResources.find(block);
  if (found == FResources.end()) return false;
  std::free(block);
  FResources.erase(found);
  return true;
}

void TExternalResources::ReleaseAll() noexcept {
  for (const auto& entry : FResources) std::free(const_cast<void*>(entry.first));
  FResources.clear();
}

int32_t TExternalResources::GetSize(const void* block) const noexcept {
  const auto found = FResources.find(block);
  return found == FResources.end() ? -1 : found->second.Size;
}

}  // namespace zv
