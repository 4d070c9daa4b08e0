// The artwork files the two programs embed: the formats the window code relies on.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace pradex {
namespace {

using Bytes = std::vector<unsigned char>;

Bytes ReadResource(const std::string& name) {
  std::ifstream file(std::string(PRADEX_RESOURCES_DIR) + "/" + name, std::ios::binary);
  EXPECT_TRUE(file) << name;
  return Bytes(std::istreambuf_iterator<char>(file), {});
}

std::uint32_t Le(const Bytes& b, std::size_t at, int size) {
  std::uint32_t v = 0;
  for (int i = size - 1; i >= 0; --i) v = v << 8 | b.at(at + static_cast<std::size_t>(i));
  return v;
}

std::uint32_t Be32(const Bytes& b, std::size_t at) {
  return static_cast<std::uint32_t>(b.at(at)) << 24 | b.at(at + 1) << 16 | b.at(at + 2) << 8 |
         b.at(at + 3);
}

struct Rgb {
  unsigned r, g, b;
  bool operator==(const Rgb&) const = default;
};

// BITMAPINFOHEADER at `at`; checks the fields common to every image here.
void ExpectInfoHeader(const Bytes& b, std::size_t at, int width, int height, int bits) {
  EXPECT_EQ(Le(b, at, 4), 40u);
  EXPECT_EQ(static_cast<std::int32_t>(Le(b, at + 4, 4)), width);
  EXPECT_EQ(static_cast<std::int32_t>(Le(b, at + 8, 4)), height);
  EXPECT_EQ(Le(b, at + 12, 2), 1u);  // planes
  EXPECT_EQ(Le(b, at + 14, 2), static_cast<std::uint32_t>(bits));
  EXPECT_EQ(Le(b, at + 16, 4), 0u);  // BI_RGB
}

std::vector<Rgb> Palette(const Bytes& b, std::size_t at, int count) {
  std::vector<Rgb> colours;
  for (int i = 0; i < count; ++i) {
    const std::size_t p = at + static_cast<std::size_t>(i) * 4;
    colours.push_back({b.at(p + 2), b.at(p + 1), b.at(p)});
  }
  return colours;
}

// Pixel (x, y), y from the top, of a bottom-up 4-bit image.
unsigned Nibble(const Bytes& b, std::size_t bits, int width, int height, int x, int y) {
  const std::size_t stride = ((static_cast<std::size_t>(width) * 4 + 31) / 32) * 4;
  const std::size_t row = bits + static_cast<std::size_t>(height - 1 - y) * stride;
  const unsigned byte = b.at(row + static_cast<std::size_t>(x) / 2);
  return x % 2 == 0 ? byte >> 4 : byte & 0x0F;
}

// AND mask bit of pixel (x, y), y from the top: true where the icon is transparent.
bool Transparent(const Bytes& b, std::size_t mask, int width, int height, int x, int y) {
  const std::size_t stride = ((static_cast<std::size_t>(width) + 31) / 32) * 4;
  const std::size_t row = mask + static_cast<std::size_t>(height - 1 - y) * stride;
  return (b.at(row + static_cast<std::size_t>(x) / 8) & (0x80 >> (x % 8))) != 0;
}

TEST(Artwork, BannerIsA16ColourBitmapWithTheKeyColourAsBackground) {
  const Bytes b = ReadResource("banner.bmp");
  ASSERT_GE(b.size(), 54u);
  EXPECT_EQ(b[0], 'B');
  EXPECT_EQ(b[1], 'M');
  EXPECT_EQ(Le(b, 2, 4), b.size());
  ExpectInfoHeader(b, 14, 62, 46, 4);
  const std::uint32_t used = Le(b, 14 + 32, 4);
  EXPECT_TRUE(used == 16 || used == 0) << used;
  const std::uint32_t bits = Le(b, 10, 4);
  EXPECT_EQ(bits, 14u + 40u + 16u * 4u);
  const std::size_t stride = 32;  // 62 pixels of 4 bits, padded to 4 bytes
  ASSERT_EQ(b.size(), bits + stride * 46);

  const auto palette = Palette(b, 54, 16);
  int key = -1;
  for (int i = 0; i < 16; ++i) {
    if (palette[static_cast<std::size_t>(i)] == Rgb{192, 192, 192}) {
      EXPECT_EQ(key, -1) << "key colour twice in the palette";
      key = i;
    }
  }
  ASSERT_NE(key, -1) << "RGB(192,192,192) not in the palette";

  int keyPixels = 0;
  std::set<unsigned> others;
  for (int y = 0; y < 46; ++y) {
    for (int x = 0; x < 62; ++x) {
      const unsigned index = Nibble(b, bits, 62, 46, x, y);
      if (static_cast<int>(index) == key) {
        ++keyPixels;
      } else {
        others.insert(index);
      }
    }
  }
  // The background shows through around the drawing, which itself has several colours.
  for (const auto& [x, y] : {std::pair{0, 0}, {61, 0}, {0, 45}, {61, 45}}) {
    EXPECT_EQ(static_cast<int>(Nibble(b, bits, 62, 46, x, y)), key) << x << "," << y;
  }
  EXPECT_GT(keyPixels, 62 * 46 / 5);
  EXPECT_LT(keyPixels, 62 * 46 * 4 / 5);
  EXPECT_GE(others.size(), 4u);
}

// ICONDIR with one entry; returns the offset of the image.
std::size_t ExpectSingleIcon(const Bytes& b, int size, int colours, int bits) {
  EXPECT_EQ(Le(b, 0, 2), 0u);
  EXPECT_EQ(Le(b, 2, 2), 1u);  // icon
  EXPECT_EQ(Le(b, 4, 2), 1u);  // one image
  EXPECT_EQ(b.at(6), size);
  EXPECT_EQ(b.at(7), size);
  EXPECT_EQ(b.at(8), colours);
  EXPECT_EQ(Le(b, 10, 2), 1u);
  EXPECT_EQ(Le(b, 12, 2), static_cast<std::uint32_t>(bits));
  const std::uint32_t length = Le(b, 14, 4);
  const std::uint32_t offset = Le(b, 18, 4);
  EXPECT_EQ(offset, 22u);
  EXPECT_EQ(offset + length, b.size());
  // The image: its header says twice the height (colour image and AND mask).
  ExpectInfoHeader(b, offset, size, 2 * size, bits);
  return offset;
}

TEST(Artwork, SmallIconIs32By32In16ColoursWithAMask) {
  const Bytes b = ReadResource("pradex-32.ico");
  ASSERT_GE(b.size(), 62u);
  const std::size_t image = ExpectSingleIcon(b, 32, 16, 4);
  const std::size_t bits = image + 40 + 16 * 4;
  const std::size_t mask = bits + 32 * 16;
  ASSERT_EQ(b.size(), mask + 32 * 4);

  int transparent = 0;
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      if (Transparent(b, mask, 32, 32, x, y)) {
        ++transparent;
        // Black under the mask, so the screen shows unchanged there.
        EXPECT_EQ(Palette(b, image + 40, 16)[Nibble(b, bits, 32, 32, x, y)], (Rgb{0, 0, 0}));
      }
    }
  }
  EXPECT_TRUE(Transparent(b, mask, 32, 32, 0, 0));
  EXPECT_GT(transparent, 32 * 32 / 10);
  EXPECT_LT(transparent, 32 * 32 * 3 / 4);
}

TEST(Artwork, LargeIconIs48By48InTrueColourWithAMask) {
  const Bytes b = ReadResource("pradex-48.ico");
  ASSERT_GE(b.size(), 62u);
  const std::size_t image = ExpectSingleIcon(b, 48, 0, 24);
  const std::size_t bits = image + 40;
  const std::size_t mask = bits + 48 * 48 * 3;
  ASSERT_EQ(b.size(), mask + 48 * 8);

  int transparent = 0;
  std::set<std::uint32_t> colours;
  for (int y = 0; y < 48; ++y) {
    for (int x = 0; x < 48; ++x) {
      const std::size_t p = bits + static_cast<std::size_t>(47 - y) * 144 + x * 3u;
      const std::uint32_t colour = Le(b, p, 3);
      if (Transparent(b, mask, 48, 48, x, y)) {
        ++transparent;
        EXPECT_EQ(colour, 0u) << x << "," << y;
      } else {
        colours.insert(colour);
      }
    }
  }
  EXPECT_TRUE(Transparent(b, mask, 48, 48, 0, 0));
  EXPECT_GT(transparent, 48 * 48 / 10);
  EXPECT_LT(transparent, 48 * 48 * 3 / 4);
  EXPECT_GT(colours.size(), 16u);  // shaded, not a 16-colour image stored in 24 bits
}

std::uint32_t Crc32(const unsigned char* data, std::size_t size) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return crc ^ 0xFFFFFFFFu;
}

TEST(Artwork, DesktopIconsAreRgbaPngsOfTheirSize) {
  for (const int size : {32, 48, 128, 256}) {
    const std::string name =
        "icons/hicolor/" + std::to_string(size) + "x" + std::to_string(size) + "/apps/pradex.png";
    const Bytes b = ReadResource(name);
    ASSERT_GE(b.size(), 8u + 25u + 12u) << name;
    EXPECT_EQ(std::string(b.begin(), b.begin() + 8), "\x89PNG\r\n\x1a\n") << name;
    // Every chunk has a valid CRC; IHDR comes first, IEND last.
    std::size_t pos = 8;
    std::vector<std::string> kinds;
    while (pos + 12 <= b.size()) {
      const std::uint32_t length = Be32(b, pos);
      ASSERT_LE(pos + 12 + length, b.size()) << name;
      kinds.emplace_back(b.begin() + static_cast<long>(pos) + 4,
                         b.begin() + static_cast<long>(pos) + 8);
      EXPECT_EQ(Crc32(&b[pos + 4], length + 4), Be32(b, pos + 8 + length))
          << name << " " << kinds.back();
      if (kinds.back() == "IHDR") {
        ASSERT_EQ(length, 13u);
        EXPECT_EQ(Be32(b, pos + 8), static_cast<std::uint32_t>(size)) << name;
        EXPECT_EQ(Be32(b, pos + 12), static_cast<std::uint32_t>(size)) << name;
        EXPECT_EQ(b[pos + 16], 8) << name;  // bits per sample
        EXPECT_EQ(b[pos + 17], 6) << name;  // RGBA
      }
      pos += 12 + length;
    }
    EXPECT_EQ(pos, b.size()) << name;
    ASSERT_FALSE(kinds.empty());
    EXPECT_EQ(kinds.front(), "IHDR") << name;
    EXPECT_EQ(kinds.back(), "IEND") << name;
  }
}

}  // namespace
}  // namespace pradex
