// Prints what the screenshot's PNG encoder costs next to libpng with the same settings (8-bit
// palette, 256 colours, no filter, level 9, zlib's defaults, 262143-byte IDAT chunks) on a
// 1920x1080 desktop-like picture and on noise: median time of several runs, file size, and the
// ratios ours / libpng. The two encoders run in turn, run for run. Figures only; nothing is
// asserted.
#include <png.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#include "delivery/png_writer.h"
#include "figure.h"

using namespace vl;

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kWidth = 1920, kHeight = 1080;
constexpr int kRuns = 5;

struct Picture {
  std::vector<uint8_t> Colors = std::vector<uint8_t>(1024);
  std::vector<uint8_t> Bits = std::vector<uint8_t>(delivery::DibStride(kWidth) * kHeight);
  uint8_t& At(uint32_t x, uint32_t y) {
    return Bits[(kHeight - 1 - y) * delivery::DibStride(kWidth) + x];
  }
  void Fill(uint32_t x0, uint32_t y0, uint32_t w, uint32_t h, uint8_t index) {
    for (uint32_t y = y0; y < std::min(y0 + h, kHeight); ++y)
      for (uint32_t x = x0; x < std::min(x0 + w, kWidth); ++x) At(x, y) = index;
  }
};

void HalftoneColours(Picture& p) {
  for (int i = 0; i < 256; ++i) {
    p.Colors[i * 4] = static_cast<uint8_t>((i % 6) * 51);
    p.Colors[i * 4 + 1] = static_cast<uint8_t>((i / 6 % 6) * 51);
    p.Colors[i * 4 + 2] = static_cast<uint8_t>((i / 36 % 6) * 51);
  }
}

// A desktop: flat background with a faint pattern, icons, overlapping windows with title bars,
// lines of text, a taskbar.
Picture Desktop() {
  Picture p;
  HalftoneColours(p);
  std::mt19937 rng(7);
  p.Fill(0, 0, kWidth, kHeight, 20);
  for (uint32_t y = 0; y < kHeight; y += 4)
    for (uint32_t x = (y / 4) % 8; x < kWidth; x += 8) p.At(x, y) = 21;
  for (int icon = 0; icon < 12; ++icon)
    for (uint32_t y = 0; y < 32; ++y)
      for (uint32_t x = 0; x < 32; ++x)
        p.At(20 + x, 20 + icon * 70 + y) = static_cast<uint8_t>(rng() % 40 + 100);
  struct Win {
    uint32_t X, Y, W, H;
  };
  for (Win w : {Win{150, 90, 1100, 700}, Win{700, 250, 1000, 650}, Win{300, 500, 600, 420}}) {
    p.Fill(w.X, w.Y, w.W, w.H, 215);           // frame
    p.Fill(w.X + 3, w.Y + 3, w.W - 6, 24, 4);  // title bar
    p.Fill(w.X + 3, w.Y + 30, w.W - 6, w.H - 33, 255);
    for (uint32_t line = w.Y + 40; line + 12 < w.Y + w.H; line += 16) {  // text
      uint32_t x = w.X + 10;
      while (x + 10 < w.X + w.W - 10 && rng() % 13) {
        uint32_t glyph = 4 + rng() % 5;
        for (uint32_t gy = 0; gy < 11; ++gy)
          for (uint32_t gx = 0; gx < glyph; ++gx)
            if (rng() % 3 == 0) p.At(x + gx, line + gy) = 0;
        x += glyph + 2 + (rng() % 6 == 0 ? 5 : 0);
      }
    }
  }
  p.Fill(0, kHeight - 30, kWidth, 30, 43);
  return p;
}

Picture Noise() {
  Picture p;
  HalftoneColours(p);
  std::mt19937 rng(3);
  for (auto& b : p.Bits) b = static_cast<uint8_t>(rng());
  return p;
}

void AppendToVector(png_structp png, png_bytep data, png_size_t size) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + size);
}
void NoFlush(png_structp) {}

std::vector<uint8_t> WithLibpng(const Picture& p) {
  std::vector<uint8_t> out;
  out.reserve(4 << 20);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png)) == 0) {
    png_set_write_fn(png, &out, AppendToVector, NoFlush);
    png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color palette[256];
    for (int i = 0; i < 256; ++i)
      palette[i] = {p.Colors[i * 4 + 2], p.Colors[i * 4 + 1], p.Colors[i * 4]};
    png_set_PLTE(png, info, palette, 256);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_compression_level(png, 9);
    png_set_compression_mem_level(png, 8);
    png_set_compression_window_bits(png, 15);
    png_set_compression_strategy(png, 0);  // Z_DEFAULT_STRATEGY
    png_set_compression_buffer_size(png, delivery::kPngIdatSize);
    png_write_info(png, info);
    const size_t stride = delivery::DibStride(kWidth);
    for (uint32_t y = 0; y < kHeight; ++y)
      png_write_row(png, const_cast<png_bytep>(p.Bits.data() + (kHeight - 1 - y) * stride));
    png_write_end(png, info);
  } else {
    out.clear();
  }
  png_destroy_write_struct(&png, &info);
  return out;
}

std::vector<uint8_t> WithOurs(const Picture& p) {
  core::TMemoryStream out;
  delivery::WritePaletteDibAsPng(out, {kWidth, kHeight, p.Colors.data(), p.Bits.data()});
  return out.Data();
}

double Median(std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void Compare(const char* name, const Picture& p, double timeGoal) {
  size_t ourSize = 0, theirSize = 0;
  std::vector<double> ours, theirs;
  for (int i = 0; i < kRuns; ++i) {
    Clock::time_point start = Clock::now();
    ourSize = WithOurs(p).size();
    ours.push_back(MsSince(start));
    start = Clock::now();
    theirSize = WithLibpng(p).size();
    theirs.push_back(MsSince(start));
  }
  const double ourMs = Median(ours), theirMs = Median(theirs);
  const double sizeRatio = static_cast<double>(ourSize) / static_cast<double>(theirSize);
  std::printf(
      "%-8s ours %8.1f ms %9zu bytes | libpng %8.1f ms %9zu bytes | time %.3fx (goal <= %.2fx), "
      "size %.4fx (goal <= 1.0x)\n",
      name, ourMs, ourSize, theirMs, theirSize, ourMs / theirMs, timeGoal, sizeRatio);
  const std::string picture = std::string("PNG 1920x1080 ") + name;
  bench::Figure(picture + ", time", bench::Format("%.1f ms", ourMs),
                bench::Format("ours/libpng <= %.2f", timeGoal),
                bench::Format("ours/libpng %.3f", ourMs / theirMs));
  bench::Figure(picture + ", size", bench::Format("%zu bytes", ourSize), "ours/libpng <= 1.00",
                bench::Format("ours/libpng %.4f", sizeRatio));
}

}  // namespace

int main() {
  std::printf("PNG of %ux%u, 8-bit palette, no filter, level 9, median of %d runs\n", kWidth,
              kHeight, kRuns);
  Compare("desktop", Desktop(), 1.10);
  Compare("noise", Noise(), 1.15);
  return 0;
}
