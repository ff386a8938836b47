// PNG pictures for the dialogs: a small reader of our own over zlib and the
// 32-bit premultiplied bitmaps that AlphaBlend and the picture controls take.
#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zv {

class TPngImage {
public:
  // Largest picture accepted: a damaged header must not make us allocate gigabytes.
  static constexpr uint32_t MaxSide = 8192;
  static constexpr uint32_t MaxPixels = 16u * 1024 * 1024;

  // Decodes a non-interlaced PNG (grey, grey+alpha, RGB, RGBA, palette; tRNS
  // honoured). False for anything damaged or unsupported; the picture is then
  // empty. Never raises for bad data.
  bool LoadFromMemory(const void* data, size_t size);
  // The same for an RCDATA resource of a module; false when it is missing.
  bool LoadFromResource(HMODULE module, LPCWSTR name);

  bool Empty() const { return FPixels.empty(); }
  int Width() const { return static_cast<int>(FWidth); }
  int Height() const { return static_cast<int>(FHeight); }
  // Top-down rows of premultiplied pixels, each 0xAARRGGBB (bytes B, G, R, A).
  const std::vector<uint32_t>& Pixels() const { return FPixels; }
  uint32_t Pixel(int x, int y) const { return FPixels[static_cast<size_t>(y) * FWidth + x]; }

  // A new top-down 32-bit DIB section holding the pixels, ready for AlphaBlend
  // with AC_SRC_ALPHA. The caller owns it (DeleteObject); null when empty or on failure.
  HBITMAP CreateBitmap() const;

  void Clear();

private:
  uint32_t FWidth = 0;
  uint32_t FHeight = 0;
  std::vector<uint32_t> FPixels;
};

// Convenience for the dialogs: the bitmap of a PNG resource, or null.
HBITMAP LoadPngBitmap(HMODULE module, LPCWSTR name);

}  // namespace zv
