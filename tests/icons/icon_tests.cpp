// Reads the committed tray icons byte by byte and checks what they show.
// The decoder here is deliberately separate from tools/mkicons.cpp: it reads
// the files the way Windows does (ICONDIR, entry, DIB with colour and mask
// planes stored bottom-up), so a fault in the generator's writer shows up.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kGreen = 0x008000;
constexpr uint32_t kRed = 0xFF0000;
constexpr uint32_t kLime = 0x00FF00;

// The stock Windows 16-colour palette, as 0xRRGGBB, in its usual order.
const std::vector<uint32_t> kStandardPalette = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
    0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
    0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
};

struct Icon {
  std::vector<uint8_t> bytes;
  std::string error;  // empty when the file could be read in full

  // ICONDIR and the first ICONDIRENTRY.
  uint16_t reserved = 0, type = 0, count = 0;
  uint8_t entry_width = 0, entry_height = 0, entry_colours = 0, entry_reserved = 0;
  uint16_t entry_planes = 0, entry_bit_count = 0;
  uint32_t bytes_in_res = 0, image_offset = 0;

  // BITMAPINFOHEADER.
  uint32_t header_size = 0;
  int32_t width = 0, height = 0;  // height covers colour and mask planes
  uint16_t planes = 0, bit_count = 0;
  uint32_t compression = 0, size_image = 0, colours_used = 0;

  std::vector<uint32_t> palette;
  // Decoded planes, top row first.
  std::vector<std::vector<uint8_t>> index;
  std::vector<std::vector<bool>> transparent;

  int rows() const { return static_cast<int>(index.size()); }
  int cols() const { return index.empty() ? 0 : static_cast<int>(index[0].size()); }
  bool opaque(int x, int y) const { return !transparent[y][x]; }
  uint32_t colour(int x, int y) const { return palette.at(index[y][x]); }
};

class Reader {
 public:
  Reader(const std::vector<uint8_t>& bytes, size_t pos) : bytes_(bytes), pos_(pos) {}
  bool ok() const { return ok_; }
  uint8_t u8() {
    if (pos_ >= bytes_.size()) {
      ok_ = false;
      return 0;
    }
    return bytes_[pos_++];
  }
  uint16_t u16() {
    const uint16_t lo = u8();
    return static_cast<uint16_t>(lo | u8() << 8);
  }
  uint32_t u32() {
    const uint32_t lo = u16();
    return lo | static_cast<uint32_t>(u16()) << 16;
  }

 private:
  const std::vector<uint8_t>& bytes_;
  size_t pos_;
  bool ok_ = true;
};

Icon decode(std::vector<uint8_t> bytes) {
  Icon icon;
  icon.bytes = std::move(bytes);
  Reader dir(icon.bytes, 0);
  icon.reserved = dir.u16();
  icon.type = dir.u16();
  icon.count = dir.u16();
  icon.entry_width = dir.u8();
  icon.entry_height = dir.u8();
  icon.entry_colours = dir.u8();
  icon.entry_reserved = dir.u8();
  icon.entry_planes = dir.u16();
  icon.entry_bit_count = dir.u16();
  icon.bytes_in_res = dir.u32();
  icon.image_offset = dir.u32();
  if (!dir.ok()) {
    icon.error = "file ends inside the icon directory";
    return icon;
  }

  Reader dib(icon.bytes, icon.image_offset);
  icon.header_size = dib.u32();
  icon.width = static_cast<int32_t>(dib.u32());
  icon.height = static_cast<int32_t>(dib.u32());
  icon.planes = dib.u16();
  icon.bit_count = dib.u16();
  icon.compression = dib.u32();
  icon.size_image = dib.u32();
  dib.u32();  // pixels per metre
  dib.u32();
  icon.colours_used = dib.u32();
  dib.u32();  // colours important
  if (!dib.ok()) {
    icon.error = "file ends inside the bitmap header";
    return icon;
  }
  if (icon.bit_count != 4 || icon.compression != 0 || icon.header_size != 40 ||
      icon.width <= 0 || icon.width > 256 || icon.height <= 0 || icon.height % 2 != 0 ||
      icon.height > 512) {
    icon.error = "not an uncompressed 4-bit icon image this decoder reads";
    return icon;
  }

  Reader pixels(icon.bytes, icon.image_offset + icon.header_size);
  const uint32_t colours = icon.colours_used ? icon.colours_used : 16;
  for (uint32_t i = 0; i < colours; ++i) {
    const uint32_t b = pixels.u8(), g = pixels.u8(), r = pixels.u8();
    pixels.u8();
    icon.palette.push_back(r << 16 | g << 8 | b);
  }

  const int w = icon.width, h = icon.height / 2;
  const int xor_stride = (w * 4 + 31) / 32 * 4;
  const int and_stride = (w + 31) / 32 * 4;
  icon.index.assign(h, std::vector<uint8_t>(w, 0));
  icon.transparent.assign(h, std::vector<bool>(w, false));
  // Each plane is stored bottom row first.
  for (int stored = 0; stored < h; ++stored) {
    std::vector<uint8_t> row(xor_stride);
    for (uint8_t& b : row) b = pixels.u8();
    for (int x = 0; x < w; ++x) {
      const uint8_t byte = row[x / 2];
      icon.index[h - 1 - stored][x] = x % 2 == 0 ? byte >> 4 : byte & 0x0F;
    }
  }
  for (int stored = 0; stored < h; ++stored) {
    std::vector<uint8_t> row(and_stride);
    for (uint8_t& b : row) b = pixels.u8();
    for (int x = 0; x < w; ++x)
      icon.transparent[h - 1 - stored][x] = (row[x / 8] >> (7 - x % 8)) & 1;
  }
  if (!pixels.ok()) {
    icon.error = "file ends inside the palette or pixel planes";
    return icon;
  }
  for (const auto& row : icon.index)
    for (uint8_t i : row)
      if (i >= icon.palette.size()) icon.error = "pixel index outside the palette";
  return icon;
}

Icon load(const std::string& name) {
  std::ifstream in(std::string(QELMNG_ICON_DIR) + "/" + name, std::ios::binary);
  if (!in) {
    Icon icon;
    icon.error = "cannot open " + name;
    return icon;
  }
  return decode(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}));
}

// Distance, in pixels along a row, from the diagonal running from the upper
// right corner (31, 0) to the lower left corner (0, 31).
int diagonal_offset(const Icon& icon, int x, int y) { return x + y - (icon.cols() - 1); }

struct IconCase {
  const char* file;
  uint32_t oval;  // the oval's own shade
  bool band;      // crossed by the red band
};

const IconCase kIcons[] = {
    {"icon1.ico", kLime, false},  {"icon2.ico", kGreen, false}, {"icon3.ico", kRed, false},
    {"icon4.ico", kLime, true},   {"icon5.ico", kGreen, true},
};

// Names the case in test output by its file instead of raw bytes.
void PrintTo(const IconCase& c, std::ostream* os) { *os << c.file; }

std::string case_name(const testing::TestParamInfo<IconCase>& info) {
  std::string name = info.param.file;
  return name.substr(0, name.find('.'));
}

// The band, found from the pixels: the run of diagonal lines around the
// centre one on which red covers most of the oval.  Returns [lo, hi] offsets.
std::pair<int, int> band_lines(const Icon& icon) {
  std::map<int, std::pair<int, int>> red_of_opaque;  // offset -> (red, opaque)
  for (int y = 0; y < icon.rows(); ++y)
    for (int x = 0; x < icon.cols(); ++x)
      if (icon.opaque(x, y)) {
        auto& counts = red_of_opaque[diagonal_offset(icon, x, y)];
        counts.first += icon.colour(x, y) == kRed;
        counts.second += 1;
      }
  auto mostly_red = [&](int d) {
    const auto it = red_of_opaque.find(d);
    return it != red_of_opaque.end() && 2 * it->second.first > it->second.second;
  };
  if (!mostly_red(0)) return {1, 0};
  int lo = 0, hi = 0;
  while (mostly_red(lo - 1)) --lo;
  while (mostly_red(hi + 1)) ++hi;
  return {lo, hi};
}

// Pixels that belong to the strokes: black on plain ovals; on banded ones red
// on the oval's shade and the oval's shade on the band.
std::vector<std::vector<bool>> stroke_pixels(const Icon& icon, const IconCase& c) {
  std::vector<std::vector<bool>> stroke(icon.rows(), std::vector<bool>(icon.cols(), false));
  const auto band = band_lines(icon);
  for (int y = 0; y < icon.rows(); ++y)
    for (int x = 0; x < icon.cols(); ++x) {
      if (!icon.opaque(x, y)) continue;
      const int d = diagonal_offset(icon, x, y);
      const bool on_band = c.band && d >= band.first && d <= band.second;
      const uint32_t expected_stroke = !c.band ? kBlack : on_band ? c.oval : kRed;
      stroke[y][x] = icon.colour(x, y) == expected_stroke;
    }
  return stroke;
}

struct Blob {
  int pixels = 0, min_x = 1 << 30, max_x = -1, min_y = 1 << 30, max_y = -1;
  double cx() const { return (min_x + max_x) / 2.0; }
  double cy() const { return (min_y + max_y) / 2.0; }
};

// 8-connected groups of set pixels, left to right by their leftmost column.
std::vector<Blob> blobs(std::vector<std::vector<bool>> set) {
  std::vector<Blob> found;
  const int h = static_cast<int>(set.size()), w = h ? static_cast<int>(set[0].size()) : 0;
  for (int y0 = 0; y0 < h; ++y0)
    for (int x0 = 0; x0 < w; ++x0) {
      if (!set[y0][x0]) continue;
      Blob b;
      std::vector<std::pair<int, int>> todo = {{x0, y0}};
      set[y0][x0] = false;
      while (!todo.empty()) {
        const auto [x, y] = todo.back();
        todo.pop_back();
        ++b.pixels;
        b.min_x = std::min(b.min_x, x);
        b.max_x = std::max(b.max_x, x);
        b.min_y = std::min(b.min_y, y);
        b.max_y = std::max(b.max_y, y);
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx) {
            const int nx = x + dx, ny = y + dy;
            if (nx >= 0 && nx < w && ny >= 0 && ny < h && set[ny][nx]) {
              set[ny][nx] = false;
              todo.push_back({nx, ny});
            }
          }
      }
      found.push_back(b);
    }
  std::sort(found.begin(), found.end(),
            [](const Blob& a, const Blob& b) { return a.min_x < b.min_x; });
  return found;
}

class EachIcon : public testing::TestWithParam<IconCase> {
 protected:
  void SetUp() override {
    icon_ = load(GetParam().file);
    ASSERT_EQ(icon_.error, "");
  }
  Icon icon_;
};

TEST_P(EachIcon, IsOneImageOf32By32In16Colours) {
  EXPECT_EQ(icon_.reserved, 0);
  EXPECT_EQ(icon_.type, 1) << "1 marks an icon, 2 a cursor";
  EXPECT_EQ(icon_.count, 1);
  EXPECT_EQ(icon_.entry_width, 32);
  EXPECT_EQ(icon_.entry_height, 32);
  EXPECT_EQ(icon_.entry_colours, 16);
  EXPECT_EQ(icon_.entry_reserved, 0);
  EXPECT_EQ(icon_.entry_planes, 1);
  EXPECT_EQ(icon_.entry_bit_count, 4);
  EXPECT_EQ(icon_.image_offset, 6u + 16u) << "the image follows the one entry";

  EXPECT_EQ(icon_.width, 32);
  EXPECT_EQ(icon_.height, 64) << "colour plane plus mask plane";
  EXPECT_EQ(icon_.planes, 1);
  EXPECT_EQ(icon_.bit_count, 4);
  EXPECT_TRUE(icon_.colours_used == 0 || icon_.colours_used == 16) << icon_.colours_used;

  // Header, palette, 4-bit rows and 1-bit rows padded to 32 bits, nothing more.
  const uint32_t planes = (32 * 4 / 8) * 32 + (32 / 8) * 32;
  const uint32_t image = 40 + 16 * 4 + planes;
  EXPECT_EQ(icon_.bytes_in_res, image);
  EXPECT_EQ(icon_.bytes.size(), icon_.image_offset + image);
  EXPECT_TRUE(icon_.size_image == 0 || icon_.size_image == planes) << icon_.size_image;
}

TEST_P(EachIcon, UsesTheStandardPalette) { EXPECT_EQ(icon_.palette, kStandardPalette); }

TEST_P(EachIcon, IsClearAroundTheOvalAndSolidInside) {
  ASSERT_EQ(icon_.rows(), 32);
  ASSERT_EQ(icon_.cols(), 32);
  // Transparent pixels must be black in the colour plane, or Windows XORs
  // their colour onto whatever lies behind the tray.
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x)
      if (!icon_.opaque(x, y)) {
        EXPECT_EQ(icon_.index[y][x], 0) << x << "," << y;
      }

  struct Point {
    int x, y;
    bool opaque;
  };
  const Point points[] = {
      {0, 0, false},   {31, 0, false},  {0, 31, false},  {31, 31, false}, {3, 3, false},
      {28, 28, false}, {16, 1, false},  {16, 30, false}, {15, 15, true},  {16, 16, true},
      {5, 16, true},   {26, 15, true},  {16, 9, true},   {15, 22, true},
  };
  for (const Point& p : points) EXPECT_EQ(icon_.opaque(p.x, p.y), p.opaque) << p.x << "," << p.y;
}

// True when the values fall, then rise (either part may be empty).
bool falls_then_rises(const std::vector<int>& v) {
  size_t i = 1;
  while (i < v.size() && v[i] <= v[i - 1]) ++i;
  while (i < v.size() && v[i] >= v[i - 1]) ++i;
  return i >= v.size();
}

TEST_P(EachIcon, OpaquePartIsAWideOval) {
  // Rows and columns each cross the shape in one unbroken run, the edges bow
  // outwards (convex), the shape is wider than tall and fills about pi/4 of
  // its bounding box, as an ellipse does.
  std::vector<int> left, negated_right;
  int top = -1, bottom = -1, area = 0;
  for (int y = 0; y < 32; ++y) {
    int first = -1, last = -1, count = 0;
    for (int x = 0; x < 32; ++x)
      if (icon_.opaque(x, y)) {
        if (first < 0) first = x;
        last = x;
        ++count;
      }
    if (count == 0) continue;
    EXPECT_EQ(count, last - first + 1) << "row " << y << " is broken";
    EXPECT_LE(std::abs(first - (31 - last)), 1) << "row " << y << " is lopsided";
    EXPECT_TRUE(bottom < 0 || bottom == y - 1) << "empty rows inside the shape above " << y;
    if (top < 0) top = y;
    bottom = y;
    left.push_back(first);
    negated_right.push_back(-last);
    area += count;
  }
  ASSERT_GE(top, 0) << "nothing opaque";
  for (int x = 0; x < 32; ++x) {
    int first = -1, last = -1, count = 0;
    for (int y = 0; y < 32; ++y)
      if (icon_.opaque(x, y)) {
        if (first < 0) first = y;
        last = y;
        ++count;
      }
    if (count) {
      EXPECT_EQ(count, last - first + 1) << "column " << x << " is broken";
    }
  }
  EXPECT_TRUE(falls_then_rises(left)) << "left edge not convex";
  EXPECT_TRUE(falls_then_rises(negated_right)) << "right edge not convex";

  const int width = -*std::min_element(negated_right.begin(), negated_right.end()) -
                    *std::min_element(left.begin(), left.end()) + 1;
  const int height = bottom - top + 1;
  EXPECT_GE(width, 26) << "the oval should nearly fill the icon's width";
  EXPECT_GE(width * 4, height * 5) << "wider than tall";
  EXPECT_LE(width, height * 2) << "an oval, not a bar";
  const double fill = static_cast<double>(area) / (width * height);
  EXPECT_GT(fill, 0.70) << "too thin for an ellipse (a diamond fills 0.5)";
  EXPECT_LT(fill, 0.90) << "too full for an ellipse (a rectangle fills 1.0)";
}

TEST_P(EachIcon, OvalShowsItsColours) {
  const IconCase& c = GetParam();
  std::map<uint32_t, int> used;
  int opaque = 0;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x)
      if (icon_.opaque(x, y)) {
        ++used[icon_.colour(x, y)];
        ++opaque;
      }
  std::set<uint32_t> colours;
  for (const auto& [colour, n] : used) colours.insert(colour);
  const std::set<uint32_t> expected =
      c.band ? std::set<uint32_t>{c.oval, kRed} : std::set<uint32_t>{c.oval, kBlack};
  EXPECT_EQ(colours, expected);

  if (!c.band) {
    EXPECT_GT(used[c.oval] * 10, opaque * 6) << "the oval's shade should dominate";
    return;
  }
  // Banded: red owns a wide run of diagonals through the centre, the oval's
  // shade the two corners away from it.
  const auto [lo, hi] = band_lines(icon_);
  ASSERT_LE(lo, hi) << "no red along the upper-right to lower-left diagonal";
  EXPECT_GE(hi - lo + 1, 9) << "band too narrow to read at 16x16";
  EXPECT_LE(lo, -4);
  EXPECT_GE(hi, 4);
  EXPECT_LE(std::abs(lo + hi), 2) << "band off the diagonal";
  for (int corner : {-1, 1}) {
    int shade = 0, all = 0;
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x) {
        const int d = diagonal_offset(icon_, x, y);
        if (icon_.opaque(x, y) && d * corner > std::max(-lo, hi) + 2) {
          ++all;
          shade += icon_.colour(x, y) == c.oval;
        }
      }
    ASSERT_GT(all, 40) << "corner " << corner << " of the oval is missing";
    EXPECT_GT(shade * 10, all * 6) << "corner " << corner << " should be the oval's shade";
  }
}

TEST_P(EachIcon, CarriesThreeStrokesSideBySide) {
  const IconCase& c = GetParam();
  const auto strokes = blobs(stroke_pixels(icon_, c));
  ASSERT_EQ(strokes.size(), 3u);
  for (const Blob& b : strokes) {
    const int w = b.max_x - b.min_x + 1, h = b.max_y - b.min_y + 1;
    EXPECT_GE(h, 7) << "stroke too short to see at 16x16";
    EXPECT_LE(h, 14) << "strokes are short marks";
    EXPECT_GE(w, 4);
    EXPECT_LE(w, 10);
    // Bold: at least 2 px thick on average along its height.
    EXPECT_GE(b.pixels, 2 * h);
    EXPECT_NEAR(b.cy(), 15.5, 2.5) << "stroke not across the middle";
  }
  for (size_t i = 1; i < strokes.size(); ++i) {
    EXPECT_GE(strokes[i].min_x, strokes[i - 1].max_x + 2) << "strokes must not touch";
    EXPECT_NEAR(strokes[i].cy(), strokes[0].cy(), 1.0) << "side by side, on one line";
  }
  EXPECT_NEAR((strokes.front().cx() + strokes.back().cx()) / 2, 15.5, 1.5) << "centred";

  // On banded icons both kinds of stroke pixel must be there: red on the
  // oval's shade, and the oval's shade on the band away from its centre line.
  if (c.band) {
    const auto [lo, hi] = band_lines(icon_);
    int red_on_oval = 0, shade_on_band_edge = 0;
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x) {
        if (!icon_.opaque(x, y)) continue;
        const int d = diagonal_offset(icon_, x, y);
        const bool on_band = d >= lo && d <= hi;
        red_on_oval += !on_band && icon_.colour(x, y) == kRed;
        shade_on_band_edge += on_band && std::abs(d) >= 4 && icon_.colour(x, y) == c.oval;
      }
    EXPECT_GE(red_on_oval, 10);
    EXPECT_GE(shade_on_band_edge, 6);
  }
}

INSTANTIATE_TEST_SUITE_P(Icons, EachIcon, testing::ValuesIn(kIcons), case_name);

// The light and dark phase of one state alternate in the tray, so they must
// be the same picture apart from the oval's shade.
struct PhasePair {
  const char* light;
  const char* dark;
};

void PrintTo(const PhasePair& p, std::ostream* os) { *os << p.light << " / " << p.dark; }

class PhasePairs : public testing::TestWithParam<PhasePair> {};

TEST_P(PhasePairs, DifferOnlyInTheOvalShade) {
  const Icon light = load(GetParam().light), dark = load(GetParam().dark);
  ASSERT_EQ(light.error, "");
  ASSERT_EQ(dark.error, "");
  ASSERT_EQ(light.bytes.size(), dark.bytes.size());
  ASSERT_EQ(light.rows(), dark.rows());
  ASSERT_EQ(light.cols(), dark.cols());
  EXPECT_EQ(light.palette, dark.palette);
  EXPECT_EQ(light.transparent, dark.transparent) << "masks differ";
  int shaded = 0;
  for (int y = 0; y < light.rows(); ++y)
    for (int x = 0; x < light.cols(); ++x) {
      const uint32_t a = light.colour(x, y), b = dark.colour(x, y);
      if (a == kLime) {
        EXPECT_EQ(b, kGreen) << x << "," << y;
        ++shaded;
      } else {
        EXPECT_EQ(b, a) << x << "," << y;
      }
    }
  EXPECT_GT(shaded, 0);
  // Only the colour plane may differ: directory, header, palette and mask
  // bytes are shared.
  const size_t colour_plane = 22 + 40 + 64;
  const size_t mask_plane = colour_plane + 16 * 32;
  EXPECT_TRUE(std::equal(light.bytes.begin(), light.bytes.begin() + colour_plane, dark.bytes.begin()));
  EXPECT_TRUE(std::equal(light.bytes.begin() + mask_plane, light.bytes.end(),
                         dark.bytes.begin() + mask_plane));
}

INSTANTIATE_TEST_SUITE_P(Icons, PhasePairs,
                         testing::Values(PhasePair{"icon1.ico", "icon2.ico"},
                                         PhasePair{"icon4.ico", "icon5.ico"}),
                         [](const testing::TestParamInfo<PhasePair>& info) {
                           return std::string(info.param.light).substr(0, 5) +
                                  std::string(info.param.dark).substr(4, 1);
                         });

// The decoder must notice damaged files, or the checks above could pass on
// data it made up.
TEST(IconDecoder, RejectsDamagedFiles) {
  const Icon good = load("icon1.ico");
  ASSERT_EQ(good.error, "");
  struct Damage {
    const char* what;
    size_t keep;  // bytes kept from the start
    size_t offset;
    uint8_t value;
  };
  const Damage damages[] = {
      {"cut inside the directory", 10, 0, 0},
      {"cut inside the header", 40, 0, 0},
      {"cut inside the mask", good.bytes.size() - 1, 0, 0},
      {"8 bits per pixel", good.bytes.size(), 22 + 14, 8},
      {"compressed", good.bytes.size(), 22 + 16, 2},
      {"odd height", good.bytes.size(), 22 + 8, 63},
  };
  for (const Damage& d : damages) {
    std::vector<uint8_t> bytes(good.bytes.begin(), good.bytes.begin() + d.keep);
    if (d.offset) bytes[d.offset] = d.value;
    EXPECT_NE(decode(bytes).error, "") << d.what;
  }
  EXPECT_EQ(decode(good.bytes).error, "");
}

}  // namespace
