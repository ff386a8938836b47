#include <gtest/gtest.h>
#include <zlib.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "ResourceIds.h"
#include "platform/Module.h"
#include "platform/PngImage.h"

using namespace zv;

namespace {

using TBytes = std::vector<uint8_t>;

void PutBE32(TBytes& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(v >> shift));
}

void PutChunk(TBytes& out, const char* type, const TBytes& body) {
  PutBE32(out, uint32_t(body.size()));
  TBytes typed(type, type + 4);
  typed.insert(typed.end(), body.begin(), body.end());
  out.insert(out.end(), typed.begin(), typed.end());
  PutBE32(out, uint32_t(crc32(0, typed.data(), uInt(typed.size()))));
}

uint8_t Paeth(int a, int b, int c) {
  const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  return uint8_t(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// A PNG encoder for the tests: plain rows in, each row filtered with the
// filter `Filter` names, every chunk with a correct CRC.
struct TPngLayout {
  uint32_t Width = 0, Height = 0;
  uint8_t Depth = 8, ColorType = 6, Interlace = 0;
  std::vector<TBytes> Rows;  // unfiltered, packed as the PNG stores them
  TBytes Palette, Transparency;
  int Filter = -1;            // 0..4, or -1 for "row number mod 5"
  uint8_t BadFilterByte = 0;  // non-zero: written as the filter byte of the last row
  size_t DropRows = 0;        // rows left out of the compressed data
  bool WithEnd = true;
  std::vector<std::pair<std::string, TBytes>> ExtraChunks;  // put before IDAT
  const TBytes* Compressed = nullptr;                       // replaces the image data
};

TBytes FilterRows(const TPngLayout& s) {
  const unsigned channels[] = {1, 0, 3, 1, 2, 0, 4};
  const size_t bpp = std::max<size_t>(1, channels[s.ColorType] * s.Depth / 8);
  TBytes out, prev(s.Rows.empty() ? 0 : s.Rows[0].size(), 0);
  for (size_t y = 0; y + s.DropRows < s.Rows.size(); ++y) {
    const TBytes& row = s.Rows[y];
    const int filter = s.Filter >= 0 ? s.Filter : int(y % 5);
    out.push_back(y + 1 == s.Rows.size() && s.BadFilterByte ? s.BadFilterByte : uint8_t(filter));
    for (size_t i = 0; i < row.size(); ++i) {
      const int a = i >= bpp ? row[i - bpp] : 0, b = prev[i], c = i >= bpp ? prev[i - bpp] : 0;
      const int pred[] = {0, a, b, (a + b) / 2, Paeth(a, b, c)};
      out.push_back(uint8_t(row[i] - pred[filter]));
    }
    prev = row;
  }
  return out;
}

TBytes Encode(const TPngLayout& s) {
  TBytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}, header;
  PutBE32(header, s.Width);
  PutBE32(header, s.Height);
  header.insert(header.end(), {s.Depth, s.ColorType, 0, 0, s.Interlace});
  PutChunk(png, "IHDR", header);
  if (!s.Palette.empty()) PutChunk(png, "PLTE", s.Palette);
  if (!s.Transparency.empty()) PutChunk(png, "tRNS", s.Transparency);
  for (const auto& [type, body] : s.ExtraChunks) PutChunk(png, type.c_str(), body);
  TBytes data;
  if (s.Compressed) {
    data = *s.Compressed;
  } else {
    const TBytes raw = FilterRows(s);
    uLongf size = compressBound(uLong(raw.size()));
    data.resize(size);
    EXPECT_EQ(compress(data.data(), &size, raw.data(), uLong(raw.size())), Z_OK);
    data.resize(size);
  }
  // Two IDAT chunks: the reader must join them.
  const size_t half = data.size() / 2;
  PutChunk(png, "IDAT", TBytes(data.begin(), data.begin() + half));
  PutChunk(png, "IDAT", TBytes(data.begin() + half, data.end()));
  if (s.WithEnd) PutChunk(png, "IEND", {});
  return png;
}

uint32_t Premultiply(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  auto m = [a](uint8_t c) { return uint32_t((c * a + 127) / 255); };
  return uint32_t(a) << 24 | m(r) << 16 | m(g) << 8 | m(b);
}

// An RGBA picture with noisy content, so that every predictor matters.
TPngLayout NoisyRgba(uint32_t w, uint32_t h, int filter, std::vector<uint32_t>* expected = nullptr) {
  TPngLayout s;
  s.Width = w, s.Height = h, s.Filter = filter;
  std::mt19937 rng(7);
  for (uint32_t y = 0; y < h; ++y) {
    TBytes row;
    for (uint32_t x = 0; x < w; ++x) {
      const uint8_t r = uint8_t(x * 19 + rng() % 7), g = uint8_t(y * 23 + rng() % 5);
      const uint8_t b = uint8_t(rng()), a = uint8_t(x == 0 ? 0 : y == 0 ? 255 : rng());
      row.insert(row.end(), {r, g, b, a});
      if (expected) expected->push_back(Premultiply(r, g, b, a));
    }
    s.Rows.push_back(row);
  }
  return s;
}

bool Decodes(const TBytes& png) {
  TPngImage image;
  const bool ok = image.LoadFromMemory(png.data(), png.size());
  EXPECT_EQ(ok, !image.Empty());
  return ok;
}

}  // namespace

TEST(PngImage, EveryFilterTypeRoundTrips) {
  for (int filter = -1; filter <= 4; ++filter) {
    std::vector<uint32_t> expected;
    const TBytes png = Encode(NoisyRgba(13, 9, filter, &expected));
    TPngImage image;
    ASSERT_TRUE(image.LoadFromMemory(png.data(), png.size())) << "filter " << filter;
    EXPECT_EQ(image.Width(), 13);
    EXPECT_EQ(image.Height(), 9);
    EXPECT_EQ(image.Pixels(), expected) << "filter " << filter;
  }
}

TEST(PngImage, ColourTypesAndDepthsDecodeToPremultipliedBgra) {
  const struct {
    const char* Name;
    uint8_t Type, Depth;
    uint32_t Width;
    std::vector<TBytes> Rows;
    std::vector<uint32_t> Expected;
    TBytes Palette{}, Transparency{};
  } cases[] = {
      {"grey 8", 0, 8, 3, {{0, 128, 255}, {1, 2, 3}},
       {0xFF000000, 0xFF808080, 0xFFFFFFFF, 0xFF010101, 0xFF020202, 0xFF030303}},
      {"grey 8 with key", 0, 8, 2, {{9, 10}}, {0xFF090909, 0x00000000}, {}, {0, 10}},
      {"grey 1", 0, 1, 10, {{0b10100000, 0b01000000}},
       {0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF, 0xFF000000, 0xFF000000, 0xFF000000, 0xFF000000, 0xFF000000,
        0xFF000000, 0xFFFFFFFF}},
      {"grey 16", 0, 16, 1, {{0xAB, 0xCD}}, {0xFFABABAB}},
      {"grey alpha 8", 4, 8, 2, {{200, 255, 200, 0}}, {0xFFC8C8C8, 0}},
      {"rgb 8", 2, 8, 2, {{10, 20, 30, 40, 50, 60}}, {0xFF0A141E, 0xFF28323C}},
      {"rgb 8 with key", 2, 8, 2, {{10, 20, 30, 40, 50, 60}}, {0xFF0A141E, 0}, {}, {0, 40, 0, 50, 0, 60}},
      {"rgb 16", 2, 16, 1, {{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}}, {0xFF12569A}},
      {"rgba 16", 6, 16, 1, {{0xFF, 0, 0, 0, 0, 0, 0x80, 0}}, {Premultiply(255, 0, 0, 0x80)}},
      {"palette 8 with alpha", 3, 8, 3, {{0, 1, 2}},
       {Premultiply(255, 0, 0, 0), Premultiply(0, 255, 0, 128), 0xFF0000FF}, {255, 0, 0, 0, 255, 0, 0, 0, 255},
       {0, 128}},
      {"palette 4", 3, 4, 3, {{0x10, 0x10}}, {0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF}, {0, 0, 0, 255, 255, 255}},
  };
  for (const auto& c : cases) {
    TPngLayout s;
    s.Width = c.Width, s.Height = uint32_t(c.Rows.size()), s.ColorType = c.Type, s.Depth = c.Depth;
    s.Rows = c.Rows, s.Palette = c.Palette, s.Transparency = c.Transparency;
    const TBytes png = Encode(s);
    TPngImage image;
    ASSERT_TRUE(image.LoadFromMemory(png.data(), png.size())) << c.Name;
    EXPECT_EQ(image.Pixels(), c.Expected) << c.Name;
  }
}

TEST(PngImage, StructuralDamageWithValidChecksumsGivesNoPicture) {
  const TPngLayout good = NoisyRgba(8, 6, 4);
  TPngLayout pal;  // a palette picture: two pixels, indexes 0 and 1
  pal.Width = 2, pal.Height = 1, pal.ColorType = 3, pal.Rows = {{0, 1}}, pal.Palette = {1, 2, 3, 4, 5, 6};
  const TBytes garbage = {0x78, 0x9C, 0xFF, 0xFF, 0x00, 0x12, 0x34}, nothing;
  const struct {
    const char* Damage;
    const TPngLayout& Base;
    std::function<void(TPngLayout&)> Change;
    bool Decodes;
  } cases[] = {
      {"none", good, [](TPngLayout&) {}, true},
      {"none (palette)", pal, [](TPngLayout&) {}, true},
      {"an unknown ancillary chunk", good, [](TPngLayout& s) { s.ExtraChunks = {{"tEXt", {'a', 0, 'b'}}}; }, true},
      {"an unknown critical chunk", good, [](TPngLayout& s) { s.ExtraChunks = {{"ZZZZ", {1, 2, 3}}}; }, false},
      // Dimensions a broken header might claim: refused before anything is allocated.
      {"100000 x 100000", good, [](TPngLayout& s) { s.Width = 100000, s.Height = 100000; }, false},
      {"width 2^32-1", good, [](TPngLayout& s) { s.Width = 0xFFFFFFFF, s.Height = 1; }, false},
      {"8192 x 8192", good, [](TPngLayout& s) { s.Width = 8192, s.Height = 8192; }, false},
      {"width 0", good, [](TPngLayout& s) { s.Width = 0; }, false},
      {"a row more in the header", good, [](TPngLayout& s) { s.Height = 7; }, false},
      {"a row less in the data", good, [](TPngLayout& s) { s.DropRows = 1; }, false},
      {"filter type 5", good, [](TPngLayout& s) { s.BadFilterByte = 5; }, false},
      {"interlaced", good, [](TPngLayout& s) { s.Interlace = 1; }, false},
      {"4-bit RGBA", good, [](TPngLayout& s) { s.Depth = 4; }, false},
      {"no end chunk", good, [](TPngLayout& s) { s.WithEnd = false; }, false},
      {"a second header", good, [](TPngLayout& s) { s.ExtraChunks = {{"IHDR", TBytes(13, 1)}}; }, false},
      {"broken deflate data", good, [&](TPngLayout& s) { s.Compressed = &garbage; }, false},
      {"no image data", good, [&](TPngLayout& s) { s.Compressed = &nothing; }, false},
      {"an index past the palette", pal, [](TPngLayout& s) { s.Palette = {1, 2, 3}; }, false},
      {"no palette", pal, [](TPngLayout& s) { s.Palette.clear(); }, false},
  };
  for (const auto& c : cases) {
    TPngLayout s = c.Base;
    c.Change(s);
    EXPECT_EQ(Decodes(Encode(s)), c.Decodes) << c.Damage;
  }
}

TEST(PngImage, RandomDamageNeverCrashesAndNeverPassesUnnoticed) {
  TPngLayout pal;
  pal.Width = 9, pal.Height = 5, pal.ColorType = 3, pal.Depth = 2;
  pal.Palette = {0, 0, 0, 9, 9, 9, 90, 90, 90, 255, 255, 255};
  pal.Transparency = {0, 80};
  for (int y = 0; y < 5; ++y) pal.Rows.push_back({uint8_t(0x1B * y), 0xE4, 0x40});
  const TBytes originals[] = {Encode(NoisyRgba(21, 17, -1)), Encode(pal)};

  std::mt19937 rng(20261206);
  int damaged = 0;
  for (int round = 0; round < 600; ++round) {
    const TBytes& original = originals[round % 2];
    TBytes png = original;
    const size_t at = rng() % png.size();
    switch (rng() % 4) {
      case 0: png[at] ^= uint8_t(1 + rng() % 255); break;  // one byte changed
      case 1: png.resize(at); break;                         // cut short
      case 2: png.insert(png.begin() + at, uint8_t(rng())); break;
      case 3:  // four bytes overwritten, such as a chunk's length
        for (size_t i = at; i < at + 4 && i < png.size(); ++i) png[i] = uint8_t(rng());
        break;
    }
    if (png == original) continue;
    // Checksums and the end marker catch every one of these changes.
    EXPECT_FALSE(Decodes(png)) << "round " << round;
    ++damaged;
  }
  EXPECT_GT(damaged, 500);
}

TEST(PngImage, DialogArtLoadsFromTheModuleResourcesAsTopDownBitmaps) {
  const struct {
    int Id, Width, Height;
  } art[] = {{IDR_PNG_ICON, 64, 64},        {IDR_PNG_LOGO, 234, 64},           {IDR_PNG_DONATE, 62, 31},
             {IDR_PNG_MOVE_UP, 16, 32},     {IDR_PNG_MOVE_UP_DISABLED, 16, 32}, {IDR_PNG_MOVE_DOWN, 16, 32},
             {IDR_PNG_MOVE_DOWN_DISABLED, 16, 32}};
  for (const auto& a : art) {
    TPngImage image;
    ASSERT_TRUE(image.LoadFromResource(ThisModule(), MAKEINTRESOURCEW(a.Id))) << a.Id;
    EXPECT_EQ(image.Width(), a.Width) << a.Id;
    EXPECT_EQ(image.Height(), a.Height) << a.Id;
  }
  // The icon has see-through corners and an opaque body.
  TPngImage icon;
  ASSERT_TRUE(icon.LoadFromResource(ThisModule(), MAKEINTRESOURCEW(IDR_PNG_ICON)));
  EXPECT_EQ(icon.Pixel(0, 0) >> 24, 0u);
  EXPECT_EQ(icon.Pixel(32, 8) >> 24, 255u);
  EXPECT_FALSE(TPngImage().LoadFromResource(ThisModule(), MAKEINTRESOURCEW(9999)));
  EXPECT_EQ(LoadPngBitmap(ThisModule(), MAKEINTRESOURCEW(9999)), nullptr);
  EXPECT_EQ(TPngImage().CreateBitmap(), nullptr);

  // The picture's first row is the bitmap's top row.
  TPngLayout s;
  s.Width = 1, s.Height = 2, s.Rows = {{255, 0, 0, 255}, {0, 0, 255, 255}};
  const TBytes png = Encode(s);
  TPngImage image;
  ASSERT_TRUE(image.LoadFromMemory(png.data(), png.size()));
  HBITMAP bitmap = image.CreateBitmap();
  ASSERT_NE(bitmap, nullptr);
  HDC dc = ::CreateCompatibleDC(nullptr);
  HGDIOBJ old = ::SelectObject(dc, bitmap);
  EXPECT_EQ(::GetPixel(dc, 0, 0), RGB(255, 0, 0));
  EXPECT_EQ(::GetPixel(dc, 0, 1), RGB(0, 0, 255));
  ::SelectObject(dc, old);
  ::DeleteDC(dc);
  ::DeleteObject(bitmap);
}
