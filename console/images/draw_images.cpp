// Draws lookout.dll's bitmaps and icon at build time, so that the repository holds how they look
// instead of unexplained binaries. A host program (built with the machine's own C++ compiler,
// not the cross compiler): draw_images OUTPUT_DIR writes
//   static_small.bmp  16 x 16   closed folder (About, small)
//   static_open.bmp   16 x 16   open folder (About, small open)
//   static_large.bmp  32 x 32   closed folder (About, large)
//   scope_small.bmp   11 images of 16 x 16 in one strip (scope pane)
//   scope_large.bmp   11 images of 32 x 32 in one strip
//   snapin.ico        32 x 32, 32-bit with mask (the snap-in image)
// White (0xFFFFFF) is the transparent colour of every bitmap; the icon's mask marks the same
// pixels. In the strips image 0 is the open folder, 5 the tools folder (also the root), 10 the
// agents folder; the others are plain folders.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Rgb {
  uint8_t r, g, b;
  bool operator==(const Rgb&) const = default;
};

constexpr Rgb kWhite{0xFF, 0xFF, 0xFF};
constexpr Rgb kOutline{0x6B, 0x4E, 0x0A};
constexpr Rgb kFolder{0xF2, 0xC2, 0x4B};
constexpr Rgb kFolderLight{0xFA, 0xDE, 0x8C};
constexpr Rgb kFolderBack{0xD9, 0xA5, 0x2E};
constexpr Rgb kPlain{0xC8, 0xC8, 0xC0};
constexpr Rgb kPlainLight{0xE0, 0xE0, 0xDA};
constexpr Rgb kTool{0x1F, 0x4E, 0xA8};
constexpr Rgb kDrum{0x2E, 0x8B, 0x3E};
constexpr Rgb kDrumTop{0x7C, 0xC8, 0x86};

class Canvas {
 public:
  Canvas(int width, int height) : width_(width), height_(height), pixels_(width * height, kWhite) {}
  int width() const { return width_; }
  int height() const { return height_; }
  Rgb at(int x, int y) const { return pixels_[y * width_ + x]; }
  void fill(int x, int y, int w, int h, Rgb colour) {
    for (int row = y; row < y + h; ++row) {
      for (int column = x; column < x + w; ++column) {
        if (row >= 0 && row < height_ && column >= 0 && column < width_) {
          pixels_[row * width_ + column] = colour;
        }
      }
    }
  }

 private:
  int width_, height_;
  std::vector<Rgb> pixels_;
};

// One image drawn on a 16-unit grid, scaled to its cell (16 or 32 pixels) at cell offset x0.
class Cell {
 public:
  Cell(Canvas& canvas, int x0, int size) : canvas_(canvas), x0_(x0), scale_(size / 16) {}
  void fill(int x, int y, int w, int h, Rgb colour) {
    canvas_.fill(x0_ + x * scale_, y * scale_, w * scale_, h * scale_, colour);
  }
  // A filled rectangle with a one-unit outline.
  void box(int x, int y, int w, int h, Rgb colour) {
    fill(x, y, w, h, kOutline);
    fill(x + 1, y + 1, w - 2, h - 2, colour);
  }

 private:
  Canvas& canvas_;
  int x0_, scale_;
};

enum class Mark { kNone, kTool, kDrum };

void closedFolder(Cell cell, Rgb body, Rgb light, Mark mark) {
  cell.box(1, 3, 6, 3, light);  // tab
  cell.box(1, 5, 14, 9, body);
  cell.fill(2, 6, 12, 1, light);
  if (mark == Mark::kTool) {
    // A spanner: head with a notch, handle across the folder.
    cell.fill(8, 7, 4, 3, kTool);
    cell.fill(9, 7, 2, 1, body);
    cell.fill(9, 10, 2, 3, kTool);
  } else if (mark == Mark::kDrum) {
    // A storage drum: the backup agents.
    cell.fill(8, 8, 5, 5, kDrum);
    cell.fill(8, 7, 5, 2, kDrumTop);
  }
}

void openFolder(Cell cell) {
  cell.box(1, 3, 6, 3, kFolderLight);
  cell.box(1, 5, 13, 9, kFolderBack);
  // The front flap, tilted: each row starts one unit further left than the one above.
  for (int row = 0; row < 5; ++row) {
    cell.fill(4 - row / 2, 8 + row, 11, 1, row == 0 || row == 4 ? kOutline : kFolderLight);
  }
}

void writeLe(std::FILE* file, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) std::fputc(static_cast<int>((value >> (8 * i)) & 0xFF), file);
}

void writeInfoHeader(std::FILE* file, int width, int height, int bits, uint32_t imageSize) {
  writeLe(file, 40, 4);  // biSize
  writeLe(file, static_cast<uint32_t>(width), 4);
  writeLe(file, static_cast<uint32_t>(height), 4);
  writeLe(file, 1, 2);  // planes
  writeLe(file, static_cast<uint32_t>(bits), 2);
  writeLe(file, 0, 4);  // BI_RGB
  writeLe(file, imageSize, 4);
  writeLe(file, 2835, 4);  // 72 dpi
  writeLe(file, 2835, 4);
  writeLe(file, 0, 4);
  writeLe(file, 0, 4);
}

bool writeBmp(const std::string& path, const Canvas& canvas) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const int stride = (canvas.width() * 3 + 3) & ~3;
  const uint32_t imageSize = static_cast<uint32_t>(stride * canvas.height());
  std::fputc('B', file);
  std::fputc('M', file);
  writeLe(file, 14 + 40 + imageSize, 4);
  writeLe(file, 0, 4);
  writeLe(file, 14 + 40, 4);
  writeInfoHeader(file, canvas.width(), canvas.height(), 24, imageSize);
  for (int y = canvas.height() - 1; y >= 0; --y) {  // bottom-up
    for (int x = 0; x < canvas.width(); ++x) {
      Rgb p = canvas.at(x, y);
      std::fputc(p.b, file);
      std::fputc(p.g, file);
      std::fputc(p.r, file);
    }
    for (int pad = canvas.width() * 3; pad < stride; ++pad) std::fputc(0, file);
  }
  return std::fclose(file) == 0;
}

// An icon file with one 32-bit image and its AND mask; white pixels are transparent.
bool writeIcon(const std::string& path, const Canvas& canvas) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const int size = canvas.width();
  const int maskStride = ((size + 31) / 32) * 4;
  const uint32_t imageSize = static_cast<uint32_t>(size * size * 4 + maskStride * size);
  writeLe(file, 0, 2);  // reserved
  writeLe(file, 1, 2);  // icon
  writeLe(file, 1, 2);  // one image
  std::fputc(size, file);
  std::fputc(size, file);
  std::fputc(0, file);  // no palette
  std::fputc(0, file);
  writeLe(file, 1, 2);   // planes
  writeLe(file, 32, 2);  // bits
  writeLe(file, 40 + imageSize, 4);
  writeLe(file, 6 + 16, 4);
  writeInfoHeader(file, size, size * 2, 32, imageSize);  // height counts image and mask
  for (int y = size - 1; y >= 0; --y) {
    for (int x = 0; x < size; ++x) {
      Rgb p = canvas.at(x, y);
      std::fputc(p.b, file);
      std::fputc(p.g, file);
      std::fputc(p.r, file);
      std::fputc(p == kWhite ? 0 : 0xFF, file);
    }
  }
  for (int y = size - 1; y >= 0; --y) {
    std::vector<uint8_t> row(maskStride, 0);
    for (int x = 0; x < size; ++x) {
      if (canvas.at(x, y) == kWhite) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    }
    std::fwrite(row.data(), 1, row.size(), file);
  }
  return std::fclose(file) == 0;
}

Canvas strip(int size) {
  Canvas canvas(size * 11, size);
  for (int index = 0; index < 11; ++index) {
    Cell cell(canvas, index * size, size);
    if (index == 0) {
      openFolder(cell);
    } else if (index == 5) {
      closedFolder(cell, kFolder, kFolderLight, Mark::kTool);
    } else if (index == 10) {
      closedFolder(cell, kFolder, kFolderLight, Mark::kDrum);
    } else {
      closedFolder(cell, kPlain, kPlainLight, Mark::kNone);
    }
  }
  return canvas;
}

Canvas single(int size, bool open, Mark mark) {
  Canvas canvas(size, size);
  if (open) {
    openFolder(Cell(canvas, 0, size));
  } else {
    closedFolder(Cell(canvas, 0, size), kFolder, kFolderLight, mark);
  }
  return canvas;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: draw_images OUTPUT_DIR\n");
    return 2;
  }
  const std::string dir = std::string(argv[1]) + "/";
  Canvas icon = single(32, false, Mark::kTool);
  // The snap-in image carries both marks: the tools and the agents it gathers.
  Cell(icon, 0, 32).fill(2, 9, 4, 4, kDrum);
  Cell(icon, 0, 32).fill(2, 8, 4, 1, kDrumTop);
  const bool ok = writeBmp(dir + "static_small.bmp", single(16, false, Mark::kNone)) &&
                  writeBmp(dir + "static_open.bmp", single(16, true, Mark::kNone)) &&
                  writeBmp(dir + "static_large.bmp", single(32, false, Mark::kNone)) &&
                  writeBmp(dir + "scope_small.bmp", strip(16)) &&
                  writeBmp(dir + "scope_large.bmp", strip(32)) &&
                  writeIcon(dir + "snapin.ico", icon);
  if (!ok) {
    std::fprintf(stderr, "draw_images: cannot write into %s\n", argv[1]);
    return 1;
  }
  return 0;
}
