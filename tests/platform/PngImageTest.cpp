#include <gtest/gtest.h>
#include <zlib.h>

#include <functional>
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

// What goes into a test picture: the scanlines as stored, each with its filter
// byte first; every chunk gets a correct checksum.
struct TPng {
  uint32_t Width = 2, Height = 5;
  uint8_t Depth = 8, ColorType = 2;
  std::vector<TBytes> Scanlines;
  TBytes Palette, Transparency;
  std::vector<std::pair<std::string, TBytes>> ExtraChunks;  // put before IDAT
  const TBytes* Compressed = nullptr;                       // replaces the image data
};

TBytes Encode(const TPng& s) {
  TBytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}, header, raw, data;
  PutBE32(header, s.Width);
  PutBE32(header, s.Height);
  header.insert(header.end(), {s.Depth, s.ColorType, 0, 0, 0});
  PutChunk(png, "IHDR", header);
  if (!s.Palette.empty()) PutChunk(png, "PLTE", s.Palette);
  if (!s.Transparency.empty()) PutChunk(png, "tRNS", s.Transparency);
  for (const auto& [type, body] : s.ExtraChunks) PutChunk(png, type.c_str(), body);
  for (const TBytes& line : s.Scanlines) raw.insert(raw.end(), line.begin(), line.end());
  if (s.Compressed) {
    data = *s.Compressed;
  } else {
    uLongf size = compressBound(uLong(raw.size()));
    data.resize(size);
    EXPECT_EQ(compress(data.data(), &size, raw.data(), uLong(raw.size())), Z_OK);
    data.resize(size);
  }
  // Two IDAT chunks: the reader must join them.
  const size_t half = data.size() / 2;
  PutChunk(png, "IDAT", TBytes(data.begin(), data.begin() + half));
  PutChunk(png, "IDAT", TBytes(data.begin() + half, data.end()));
  PutChunk(png, "IEND", {});
  return png;
}

// Two RGB pixels a row, the rows filtered with None, Sub, Up, Average and
// Paeth in turn (Paeth picks the left, upper and upper-left byte in it).
const TPng kFiltered{2, 5, 8, 2,
                     {{0, 10, 200, 30, 250, 5, 128}, {1, 7, 6, 5, 4, 3, 2}, {2, 1, 2, 3, 4, 5, 6},
                      {3, 100, 0, 50, 9, 20, 30}, {4, 40, 250, 2, 200, 1, 2}}};
const std::vector<uint32_t> kFilteredPixels = {0xFF0AC81E, 0xFFFA0580, 0xFF070605, 0xFF0B0907, 0xFF080808,
                                               0xFF0F0E0D, 0xFF680436, 0xFF441D3F, 0xFF90FE38, 0xFF30FF41};
// Two palette pixels, indexes 0 and 1.
const TPng kPalette{2, 1, 8, 3, {{0, 0, 1}}, {1, 2, 3, 4, 5, 6}};

bool Decodes(const TBytes& png) {
  TPngImage image;
  const bool ok = image.LoadFromMemory(png.data(), png.size());
  EXPECT_EQ(ok, !image.Empty());
  return ok;
}

}  // namespace

// Premultiplied: each colour byte times alpha / 255, rounded.
TEST(PngImage, FiltersColourTypesAndDepthsDecodeToPremultipliedBgra) {
  const TBytes filtered = Encode(kFiltered);
  TPngImage image;
  ASSERT_TRUE(image.LoadFromMemory(filtered.data(), filtered.size()));
  EXPECT_EQ(image.Pixels(), kFilteredPixels);
  const struct {
    const char* Name;
    uint8_t Type, Depth;
    uint32_t Width;
    std::vector<TBytes> Rows;  // unfiltered
    std::vector<uint32_t> Expected;
    TBytes Palette{}, Transparency{};
  } cases[] = {
      {"grey 8 with key", 0, 8, 2, {{9, 10}}, {0xFF090909, 0x00000000}, {}, {0, 10}},
      {"grey 1", 0, 1, 10, {{0b10100000, 0b01000000}},
       {0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF, 0xFF000000, 0xFF000000, 0xFF000000, 0xFF000000, 0xFF000000,
        0xFF000000, 0xFFFFFFFF}},
      {"grey alpha 8", 4, 8, 2, {{200, 255, 200, 0}}, {0xFFC8C8C8, 0}},
      {"rgb 8 with key", 2, 8, 2, {{10, 20, 30, 40, 50, 60}}, {0xFF0A141E, 0}, {}, {0, 40, 0, 50, 0, 60}},
      {"rgba 16", 6, 16, 1, {{0xFF, 0, 0, 0, 0, 0, 0x80, 0}}, {0x80800000}},
      {"palette 8 with alpha", 3, 8, 3, {{0, 1, 2}}, {0x00000000, 0x80008000, 0xFF0000FF},
       {255, 0, 0, 0, 255, 0, 0, 0, 255}, {0, 128}},
      {"palette 4", 3, 4, 3, {{0x10, 0x10}}, {0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF}, {0, 0, 0, 255, 255, 255}},
  };
  for (const auto& c : cases) {
    TPng s{c.Width, uint32_t(c.Rows.size()), c.Depth, c.Type};
    for (const TBytes& row : c.Rows) {
      s.Scanlines.push_back({0});
      s.Scanlines.back().insert(s.Scanlines.back().end(), row.begin(), row.end());
    }
    s.Palette = c.Palette, s.Transparency = c.Transparency;
    const TBytes png = Encode(s);
    ASSERT_TRUE(image.LoadFromMemory(png.data(), png.size())) << c.Name;
    EXPECT_EQ(image.Pixels(), c.Expected) << c.Name;
  }
}

// The library decodes only its own pictures: damage must above all not make
// it read or allocate beyond what the file holds.
TEST(PngImage, DamageGivesNoPicture) {
  const TBytes garbage = {0x78, 0x9C, 0xFF, 0xFF, 0x00, 0x12, 0x34}, nothing;
  const struct {
    const char* Damage;
    const TPng& Base;
    std::function<void(TPng&)> Change;
    bool Decodes;
  } cases[] = {
      {"an unknown ancillary chunk", kFiltered, [](TPng& s) { s.ExtraChunks = {{"tEXt", {'a', 0, 'b'}}}; }, true},
      // Dimensions a broken header might claim: refused before anything is allocated.
      {"width 2^32-1", kFiltered, [](TPng& s) { s.Width = 0xFFFFFFFF, s.Height = 1; }, false},
      {"8192 x 8192", kFiltered, [](TPng& s) { s.Width = 8192, s.Height = 8192; }, false},
      {"a row less in the data", kFiltered, [](TPng& s) { s.Scanlines.pop_back(); }, false},
      {"filter type 5", kFiltered, [](TPng& s) { s.Scanlines.back()[0] = 5; }, false},
      {"broken deflate data", kFiltered, [&](TPng& s) { s.Compressed = &garbage; }, false},
      {"no image data", kFiltered, [&](TPng& s) { s.Compressed = &nothing; }, false},
      {"an index past the palette", kPalette, [](TPng& s) { s.Palette = {1, 2, 3}; }, false},
      {"no palette", kPalette, [](TPng& s) { s.Palette.clear(); }, false},
  };
  for (const auto& c : cases) {
    TPng s = c.Base;
    c.Change(s);
    EXPECT_EQ(Decodes(Encode(s)), c.Decodes) << c.Damage;
  }
}

// The rest of the dialog art shows in the screenshots.
TEST(PngImage, DialogArtLoadsFromTheModuleResourcesAsTopDownBitmaps) {
  // The icon has see-through corners and an opaque body.
  TPngImage icon;
  ASSERT_TRUE(icon.LoadFromResource(ThisModule(), MAKEINTRESOURCEW(IDR_PNG_ICON)));
  EXPECT_EQ(icon.Width() * 1000 + icon.Height(), 64064);
  EXPECT_EQ(icon.Pixel(0, 0) >> 24, 0u);
  EXPECT_EQ(icon.Pixel(32, 8) >> 24, 255u);
  EXPECT_FALSE(TPngImage().LoadFromResource(ThisModule(), MAKEINTRESOURCEW(9999)));
  EXPECT_EQ(LoadPngBitmap(ThisModule(), MAKEINTRESOURCEW(9999)), nullptr);
  EXPECT_EQ(TPngImage().CreateBitmap(), nullptr);

  // The picture's first row is the bitmap's top row.
  const TBytes png = Encode(TPng{1, 2, 8, 2, {{0, 255, 0, 0}, {0, 0, 0, 255}}});
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
