// mkicons OUTDIR: writes the five tray icons icon1.ico .. icon5.ico.
//
// Each file holds one 32x32 image, 4 bits per pixel, in the stock 16-colour
// Windows palette: a wide oval (transparent around it) bearing three small
// lightning strokes, optionally crossed by a red band.  Everything is integer
// arithmetic and the files are written byte by byte, so the output is the
// same on every machine and the committed copies can be checked against it.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kSize = 32;

// Indices into the stock palette below.
enum Colour : uint8_t {
  kBlack = 0,
  kGreen = 2,
  kRed = 9,
  kLime = 10,
};

// The standard Windows 16-colour palette, in its usual order, as 0xRRGGBB.
constexpr uint32_t kPalette[16] = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
    0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
    0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
};

// One lightning stroke; '#' is drawn.  Three copies stand side by side.
// Strokes are 3 px thick so they survive the tray's halving to 16x16.  Both
// legs run at 45 degrees, parallel to the band of icons 4 and 5: the band
// then holds the whole middle stroke and the inner legs of the outer two, and
// the outer legs lie wholly on the oval, so the colour changes fall between
// legs instead of cutting them into scraps.
constexpr int kBoltW = 7;
constexpr int kBoltH = 10;
constexpr const char* kBolt[kBoltH] = {
    "....###",
    "...###.",
    "..###..",
    ".###...",
    "#######",
    "######.",
    "..###..",
    ".###...",
    "###....",
    "##.....",
};
constexpr int kBoltGap = 2;
// Puts the middle stroke's centre on the band's centre line (x + y = 31).
constexpr int kBoltsLeft = 4;
constexpr int kBoltsTop = 11;

// Geometry is done on doubled coordinates measured from the image centre, so
// pixel centres are odd integers in -31..31 and the shapes stay symmetric.
int centred(int i) { return 2 * i + 1 - kSize; }

// Oval with semi-axes 15.5 x 10.5 pixels: columns 1..30, rows 6..25.
bool in_oval(int x, int y) {
  const long a = 31, b = 21;
  const long px = centred(x), py = centred(y);
  return px * px * b * b + py * py * a * a <= a * a * b * b;
}

// Band along the diagonal from the upper right to the lower left corner:
// |x + y - 31| <= 8 in pixels, about 12 px across.
constexpr int kBandHalf = 8;
bool in_band(int x, int y) {
  const int d = centred(x) + centred(y);
  return d >= -2 * kBandHalf && d <= 2 * kBandHalf;
}

bool in_bolt(int x, int y) {
  const int row = y - kBoltsTop;
  if (row < 0 || row >= kBoltH) return false;
  for (int i = 0; i < 3; ++i) {
    const int col = x - (kBoltsLeft + i * (kBoltW + kBoltGap));
    if (col >= 0 && col < kBoltW && kBolt[row][col] == '#') return true;
  }
  return false;
}

struct Look {
  const char* name;
  uint8_t oval;
  bool band;
  uint8_t stroke_on_oval;
  uint8_t stroke_on_band;
};

// 1/2 running (light/dark phase), 3 stopped, 4/5 units offline.
constexpr Look kLooks[] = {
    {"icon1.ico", kLime, false, kBlack, kBlack},
    {"icon2.ico", kGreen, false, kBlack, kBlack},
    {"icon3.ico", kRed, false, kBlack, kBlack},
    {"icon4.ico", kLime, true, kRed, kLime},
    {"icon5.ico", kGreen, true, kRed, kGreen},
};

struct Image {
  uint8_t index[kSize][kSize];  // [y][x], top row first
  bool transparent[kSize][kSize];
};

Image paint(const Look& look) {
  Image img{};
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      if (!in_oval(x, y)) {
        // Transparent pixels are black in the colour plane so the screen
        // shows through unchanged (AND 1, XOR 0).
        img.index[y][x] = kBlack;
        img.transparent[y][x] = true;
        continue;
      }
      const bool band = look.band && in_band(x, y);
      uint8_t c = band ? uint8_t{kRed} : look.oval;
      if (in_bolt(x, y)) c = band ? look.stroke_on_band : look.stroke_on_oval;
      img.index[y][x] = c;
      img.transparent[y][x] = false;
    }
  }
  return img;
}

void put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

std::vector<uint8_t> encode(const Image& img) {
  constexpr uint32_t kHeaderBytes = 40;
  constexpr uint32_t kPaletteBytes = 16 * 4;
  constexpr uint32_t kXorRowBytes = (kSize * 4 + 31) / 32 * 4;
  constexpr uint32_t kAndRowBytes = (kSize + 31) / 32 * 4;
  constexpr uint32_t kBitsBytes = (kXorRowBytes + kAndRowBytes) * kSize;
  constexpr uint32_t kImageBytes = kHeaderBytes + kPaletteBytes + kBitsBytes;
  constexpr uint32_t kImageOffset = 6 + 16;

  std::vector<uint8_t> out;
  // ICONDIR: reserved, type 1 (icon), one entry.
  put16(out, 0);
  put16(out, 1);
  put16(out, 1);
  // ICONDIRENTRY.
  out.push_back(kSize);  // width
  out.push_back(kSize);  // height
  out.push_back(16);     // colours in the palette
  out.push_back(0);      // reserved
  put16(out, 1);         // planes
  put16(out, 4);         // bits per pixel
  put32(out, kImageBytes);
  put32(out, kImageOffset);
  // BITMAPINFOHEADER; the height counts the colour and the mask plane.
  put32(out, kHeaderBytes);
  put32(out, kSize);
  put32(out, 2 * kSize);
  put16(out, 1);  // planes
  put16(out, 4);  // bits per pixel
  put32(out, 0);  // BI_RGB
  put32(out, kBitsBytes);
  put32(out, 0);  // pixels per metre, x
  put32(out, 0);  // pixels per metre, y
  put32(out, 0);  // colours used: all 2^4
  put32(out, 0);  // colours important: all
  for (uint32_t rgb : kPalette) {
    out.push_back(static_cast<uint8_t>(rgb));        // blue
    out.push_back(static_cast<uint8_t>(rgb >> 8));   // green
    out.push_back(static_cast<uint8_t>(rgb >> 16));  // red
    out.push_back(0);
  }
  // Both planes are stored bottom row first; the leftmost pixel takes the
  // high bits of its byte.
  for (int y = kSize - 1; y >= 0; --y) {
    for (int x = 0; x < kSize; x += 2)
      out.push_back(static_cast<uint8_t>(img.index[y][x] << 4 | img.index[y][x + 1]));
    for (uint32_t pad = kSize / 2; pad < kXorRowBytes; ++pad) out.push_back(0);
  }
  for (int y = kSize - 1; y >= 0; --y) {
    std::vector<uint8_t> row(kAndRowBytes, 0);
    for (int x = 0; x < kSize; ++x)
      if (img.transparent[y][x]) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

bool write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  for (const Look& look : kLooks) {
    const std::string path = dir + "/" + look.name;
    if (!write_file(path, encode(paint(look)))) {
      std::fprintf(stderr, "mkicons: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
