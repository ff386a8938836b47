#include "platform/PngImage.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace zv {

namespace {

constexpr uint8_t PngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

uint32_t ReadBE32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

bool IsChunk(const uint8_t* type, const char* name) { return std::memcmp(type, name, 4) == 0; }

struct THeader {
  uint32_t Width = 0;
  uint32_t Height = 0;
  uint8_t BitDepth = 0;
  uint8_t ColorType = 0;
  uint8_t Interlace = 0;
};

// What the chunk walk collects; everything is checked against the header later.
struct TPngParts {
  THeader Header;
  bool HaveHeader = false;
  bool HaveEnd = false;
  std::vector<uint8_t> Palette;       // RGB triples
  std::vector<uint8_t> Transparency;  // tRNS as stored
  std::vector<uint8_t> Compressed;    // all IDAT data in order
};

unsigned ChannelCount(uint8_t colorType) {
  switch (colorType) {
    case 0: return 1;  // grey
    case 2: return 3;  // RGB
    case 3: return 1;  // palette index
    case 4: return 2;  // grey + alpha
    case 6: return 4;  // RGBA
    default: return 0;
  }
}

bool ValidDepth(uint8_t colorType, uint8_t depth) {
  switch (colorType) {
    case 0: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2: case 4: case 6: return depth == 8 || depth == 16;
    default: return false;
  }
}

bool ParseHeader(const uint8_t* data, uint32_t length, THeader& header) {
  if (length != 13) return false;
  header.Width = ReadBE32(data);
  header.Height = ReadBE32(data + 4);
  header.BitDepth = data[8];
  header.ColorType = data[9];
  header.Interlace = data[12];
  if (data[10] != 0 || data[11] != 0) return false;  // compression and filter method
  if (header.Interlace != 0) return false;           // Adam7 is not supported
  if (header.Width == 0 || header.Height == 0) return false;
  if (header.Width > TPngImage::MaxSide || header.Height > TPngImage::MaxSide) return false;
  if (uint64_t(header.Width) * header.Height > TPngImage::MaxPixels) return false;
  return ValidDepth(header.ColorType, header.BitDepth);
}

// Walks the chunks with every length checked against the buffer and every CRC verified.
bool ReadChunks(const uint8_t* data, size_t size, TPngParts& parts) {
  if (size < sizeof(PngSignature) || std::memcmp(data, PngSignature, sizeof(PngSignature)) != 0) return false;
  size_t pos = sizeof(PngSignature);
  bool seenData = false;
  while (!parts.HaveEnd) {
    if (size - pos < 12) return false;  // length, type and CRC at least
    const uint32_t length = ReadBE32(data + pos);
    if (length > 0x7FFFFFFFu || length > size - pos - 12) return false;
    const uint8_t* type = data + pos + 4;
    const uint8_t* body = type + 4;
    const uint32_t storedCrc = ReadBE32(body + length);
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), type, length + 4);
    if (crc != storedCrc) return false;
    pos += size_t(length) + 12;

    if (!parts.HaveHeader) {
      if (!IsChunk(type, "IHDR") || !ParseHeader(body, length, parts.Header)) return false;
      parts.HaveHeader = true;
    } else if (IsChunk(type, "IHDR")) {
      return false;
    } else if (IsChunk(type, "PLTE")) {
      if (seenData || !parts.Palette.empty() || length == 0 || length % 3 != 0 || length > 256 * 3) return false;
      parts.Palette.assign(body, body + length);
    } else if (IsChunk(type, "tRNS")) {
      if (seenData) return false;
      parts.Transparency.assign(body, body + length);
    } else if (IsChunk(type, "IDAT")) {
      parts.Compressed.insert(parts.Compressed.end(), body, body + length);
      seenData = true;
    } else if (IsChunk(type, "IEND")) {
      parts.HaveEnd = true;
    } else if ((type[0] & 0x20) == 0) {
      return false;  // an unknown critical chunk: we cannot show this picture correctly
    }
  }
  return seenData;
}

// Inflates into exactly `expected` bytes; a stream that ends early or is damaged fails.
bool Inflate(const std::vector<uint8_t>& compressed, std::vector<uint8_t>& raw, size_t expected) {
  raw.assign(expected, 0);
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return false;
  stream.next_in = const_cast<Bytef*>(compressed.data());
  stream.avail_in = static_cast<uInt>(compressed.size());
  stream.next_out = raw.data();
  stream.avail_out = static_cast<uInt>(expected);
  int rc = Z_OK;
  while (rc == Z_OK && stream.avail_out > 0) rc = inflate(&stream, Z_NO_FLUSH);
  const bool filled = stream.avail_out == 0 && (rc == Z_OK || rc == Z_STREAM_END || rc == Z_BUF_ERROR);
  inflateEnd(&stream);
  return filled;
}

uint8_t Paeth(uint8_t a, uint8_t b, uint8_t c) {
  const int p = int(a) + int(b) - int(c);
  const int pa = std::abs(p - int(a));
  const int pb = std::abs(p - int(b));
  const int pc = std::abs(p - int(c));
  if (pa <= pb && pa <= pc) return a;
  return pb <= pc ? b : c;
}

// Reverses the per-row filters in place; each row starts with its filter byte.
bool Unfilter(std::vector<uint8_t>& raw, size_t rowBytes, uint32_t rows, size_t stride) {
  const size_t lineSize = rowBytes + 1;
  for (uint32_t y = 0; y < rows; ++y) {
    uint8_t* line = raw.data() + y * lineSize;
    const uint8_t filter = line[0];
    uint8_t* cur = line + 1;
    const uint8_t* prev = y > 0 ? cur - lineSize : nullptr;
    for (size_t i = 0; i < rowBytes; ++i) {
      const uint8_t left = i >= stride ? cur[i - stride] : 0;
      const uint8_t up = prev ? prev[i] : 0;
      const uint8_t upLeft = (prev && i >= stride) ? prev[i - stride] : 0;
      switch (filter) {
        case 0: break;
        case 1: cur[i] = uint8_t(cur[i] + left); break;
        case 2: cur[i] = uint8_t(cur[i] + up); break;
        case 3: cur[i] = uint8_t(cur[i] + ((unsigned(left) + up) >> 1)); break;
        case 4: cur[i] = uint8_t(cur[i] + Paeth(left, up, upLeft)); break;
        default: return false;
      }
    }
  }
  return true;
}

// Reads sample number `index` of a row at the header's bit depth.
uint32_t Sample(const uint8_t* row, size_t index, uint8_t depth) {
  switch (depth) {
    case 8: return row[index];
    case 16: return (uint32_t(row[2 * index]) << 8) | row[2 * index + 1];
    default: {
      const size_t bit = index * depth;
      const unsigned shift = 8 - depth - unsigned(bit % 8);
      return (row[bit / 8] >> shift) & ((1u << depth) - 1);
    }
  }
}

uint8_t To8Bit(uint32_t sample, uint8_t depth) {
  if (depth == 16) return uint8_t(sample >> 8);
  if (depth == 8) return uint8_t(sample);
  return uint8_t(sample * 255 / ((1u << depth) - 1));
}

uint32_t Premultiplied(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  auto mul = [a](uint8_t c) { return uint32_t((unsigned(c) * a + 127) / 255); };
  return (uint32_t(a) << 24) | (mul(r) << 16) | (mul(g) << 8) | mul(b);
}

// Turns unfiltered rows into premultiplied BGRA; false for a palette index out of range.
bool ConvertRows(const TPngParts& parts, const std::vector<uint8_t>& raw, size_t rowBytes,
                 std::vector<uint32_t>& pixels) {
  const THeader& h = parts.Header;
  const uint8_t depth = h.BitDepth;
  const std::vector<uint8_t>& trns = parts.Transparency;
  const bool keyGrey = h.ColorType == 0 && trns.size() >= 2;
  const bool keyRgb = h.ColorType == 2 && trns.size() >= 6;
  const uint32_t keyG = keyGrey ? (uint32_t(trns[0]) << 8 | trns[1]) : 0;
  const uint32_t keyR = keyRgb ? (uint32_t(trns[0]) << 8 | trns[1]) : 0;
  const uint32_t keyGr = keyRgb ? (uint32_t(trns[2]) << 8 | trns[3]) : 0;
  const uint32_t keyB = keyRgb ? (uint32_t(trns[4]) << 8 | trns[5]) : 0;
  const size_t paletteSize = parts.Palette.size() / 3;

  pixels.resize(size_t(h.Width) * h.Height);
  for (uint32_t y = 0; y < h.Height; ++y) {
    const uint8_t* row = raw.data() + y * (rowBytes + 1) + 1;
    uint32_t* out = pixels.data() + size_t(y) * h.Width;
    for (uint32_t x = 0; x < h.Width; ++x) {
      uint8_t r = 0, g = 0, b = 0, a = 255;
      switch (h.ColorType) {
        case 0: {
          const uint32_t s = Sample(row, x, depth);
          r = g = b = To8Bit(s, depth);
          if (keyGrey && s == keyG) a = 0;
          break;
        }
        case 2: {
          const uint32_t sr = Sample(row, 3 * size_t(x), depth);
          const uint32_t sg = Sample(row, 3 * size_t(x) + 1, depth);
          const uint32_t sb = Sample(row, 3 * size_t(x) + 2, depth);
          r = To8Bit(sr, depth), g = To8Bit(sg, depth), b = To8Bit(sb, depth);
          if (keyRgb && sr == keyR && sg == keyGr && sb == keyB) a = 0;
          break;
        }
        case 3: {
          const uint32_t index = Sample(row, x, depth);
          if (index >= paletteSize) return false;
          r = parts.Palette[3 * index], g = parts.Palette[3 * index + 1], b = parts.Palette[3 * index + 2];
          if (index < trns.size()) a = trns[index];
          break;
        }
        case 4:
          r = g = b = To8Bit(Sample(row, 2 * size_t(x), depth), depth);
          a = To8Bit(Sample(row, 2 * size_t(x) + 1, depth), depth);
          break;
        case 6:
          r = To8Bit(Sample(row, 4 * size_t(x), depth), depth);
          g = To8Bit(Sample(row, 4 * size_t(x) + 1, depth), depth);
          b = To8Bit(Sample(row, 4 * size_t(x) + 2, depth), depth);
          a = To8Bit(Sample(row, 4 * size_t(x) + 3, depth), depth);
          break;
      }
      out[x] = Premultiplied(r, g, b, a);
    }
  }
  return true;
}

bool Decode(const uint8_t* data, size_t size, uint32_t& width, uint32_t& height, std::vector<uint32_t>& pixels) {
  TPngParts parts;
  if (!ReadChunks(data, size, parts)) return false;
  const THeader& h = parts.Header;
  if (h.ColorType == 3 && parts.Palette.empty()) return false;

  const unsigned bitsPerPixel = ChannelCount(h.ColorType) * h.BitDepth;
  const size_t rowBytes = (size_t(h.Width) * bitsPerPixel + 7) / 8;  // bounded by MaxSide
  const size_t stride = std::max(1u, bitsPerPixel / 8);
  std::vector<uint8_t> raw;
  if (!Inflate(parts.Compressed, raw, (rowBytes + 1) * h.Height)) return false;
  parts.Compressed = {};
  if (!Unfilter(raw, rowBytes, h.Height, stride)) return false;
  if (!ConvertRows(parts, raw, rowBytes, pixels)) return false;
  width = h.Width;
  height = h.Height;
  return true;
}

}  // namespace

void TPngImage::Clear() {
  FWidth = FHeight = 0;
  FPixels.clear();
}

bool TPngImage::LoadFromMemory(const void* data, size_t size) {
  Clear();
  if (!data) return false;
  try {
    if (Decode(static_cast<const uint8_t*>(data), size, FWidth, FHeight, FPixels)) return true;
  } catch (const std::bad_alloc&) {
    // A picture we cannot hold is as unusable as a damaged one.
  }
  Clear();
  return false;
}

bool TPngImage::LoadFromResource(HMODULE module, LPCWSTR name) {
  Clear();
  HRSRC info = ::FindResourceW(module, name, RT_RCDATA);
  if (!info) return false;
  HGLOBAL loaded = ::LoadResource(module, info);
  const void* data = loaded ? ::LockResource(loaded) : nullptr;
  return data && LoadFromMemory(data, ::SizeofResource(module, info));
}

HBITMAP TPngImage::CreateBitmap() const {
  if (Empty()) return nullptr;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = LONG(FWidth);
  info.bmiHeader.biHeight = -LONG(FHeight);  // negative: rows run top-down like ours
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap || !bits) {
    if (bitmap) ::DeleteObject(bitmap);
    return nullptr;
  }
  std::memcpy(bits, FPixels.data(), FPixels.size() * sizeof(uint32_t));
  ::GdiFlush();
  return bitmap;
}

HBITMAP LoadPngBitmap(HMODULE module, LPCWSTR name) {
  TPngImage image;
  return image.LoadFromResource(module, name) ? image.CreateBitmap() : nullptr;
}

}  // namespace zv
