#include "delivery/screen_capture.h"

#include <windows.h>

#include <cstring>
#include <utility>

#include "core/trace.h"
#include "delivery/file_stream.h"
#include "delivery/png_writer.h"
#include "runtime/system.h"

namespace vl::delivery {

namespace {

// Runs a clean-up step when the scope ends, on every path.
template <class F>
class Finally {
 public:
  explicit Finally(F step) : step_(std::move(step)) {}
  ~Finally() { step_(); }
  Finally(const Finally&) = delete;
  Finally& operator=(const Finally&) = delete;

 private:
  F step_;
};

// The bitmap description handed to GetDIBits, with room for the 256 colours it fills in.
struct DibInfo {
  BITMAPINFOHEADER Header;
  RGBQUAD Colors[256];
};

// The captured picture: pixels as GetDIBits returns them (fixed global memory) and the colours.
struct ScreenPicture {
  uint32_t Width = 0;
  uint32_t Height = 0;
  DibInfo Info{};
  HGLOBAL Bits = nullptr;

  ScreenPicture() = default;
  ScreenPicture(const ScreenPicture&) = delete;
  ScreenPicture& operator=(const ScreenPicture&) = delete;
  ~ScreenPicture() {
    if (Bits) GlobalFree(Bits);
  }
};

[[noreturn]] void RaiseLastError(const char* what) {
  DWORD code = GetLastError();
  throw EOSError(Format("%s. %s", what, rtl::SysErrorMessage(code).c_str()), code);
}

// Draws the mouse cursor into Dc, its top-left corner at the pointer (the hot spot is not
// subtracted), 32 x 32 pixels. GetCursor would answer for the calling thread only, and a thread
// without windows has no cursor; GetCursorInfo gives the one on screen.
void DrawCursor(HDC dc) {
  CURSORINFO info;
  std::memset(&info, 0, sizeof info);
  info.cbSize = sizeof info;
  POINT at{0, 0};
  HCURSOR cursor = nullptr;
  if (GetCursorInfo(&info)) {
    cursor = info.hCursor;
    at = info.ptScreenPos;
  } else {
    GetCursorPos(&at);
  }
  if (cursor && DrawIconEx(dc, at.x, at.y, cursor, 32, 32, 0, nullptr, DI_NORMAL)) return;
  DrawIconEx(dc, at.x, at.y, LoadCursor(nullptr, IDC_ARROW), 32, 32, 0, nullptr, DI_NORMAL);
}

// Copies the screen into Picture. Every object made here is released before returning, the
// originals selected back first (a selected bitmap or palette cannot be deleted).
void CaptureScreen(ScreenPicture& picture) {
  HDC screen = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
  if (!screen) RaiseLastError("Cannot open the display");
  Finally screenDone([&] { DeleteDC(screen); });
  HDC memory = CreateCompatibleDC(screen);
  if (!memory) RaiseLastError("Cannot make a memory device context");
  Finally memoryDone([&] { DeleteDC(memory); });

  int width = GetDeviceCaps(screen, HORZRES);
  int height = GetDeviceCaps(screen, VERTRES);
  if (width <= 0 || height <= 0)
    throw EOSError(Format("The display has no size (%dx%d)", width, height), 0);
  picture.Width = static_cast<uint32_t>(width);
  picture.Height = static_cast<uint32_t>(height);

  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  if (!bitmap) RaiseLastError("Cannot make the screen bitmap");
  Finally bitmapDone([&] { DeleteObject(bitmap); });
  HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
  bool bitmapSelected = true;
  Finally bitmapDeselected([&] {
    if (bitmapSelected) SelectObject(memory, oldBitmap);
  });

  HPALETTE palette = nullptr;
  HPALETTE oldPalette = nullptr;
  Finally paletteDone([&] {
    if (!palette) return;
    if (oldPalette) SelectPalette(memory, oldPalette, FALSE);
    DeleteObject(palette);
  });
  if (GetDeviceCaps(screen, RASTERCAPS) & RC_PALETTE) {
    struct {
      WORD Version;
      WORD Count;
      PALETTEENTRY Entries[256];
    } record{};
    record.Version = 0x300;
    UINT count = GetSystemPaletteEntries(screen, 0, 256, record.Entries);
    if (count > 0) {
      record.Count = static_cast<WORD>(count > 256 ? 256 : count);
      palette = CreatePalette(reinterpret_cast<LOGPALETTE*>(&record));
      if (palette) oldPalette = SelectPalette(memory, palette, FALSE);
    }
  }

  BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
  DrawCursor(memory);

  const size_t size = DibStride(picture.Width) * picture.Height;
  picture.Bits = GlobalAlloc(GMEM_FIXED, size);
  if (!picture.Bits) RaiseLastError("Not enough memory for the screen picture");
  std::memset(picture.Bits, 0, size);

  // GetDIBits wants the bitmap out of every device context.
  SelectObject(memory, oldBitmap);
  bitmapSelected = false;
  BITMAPINFOHEADER& h = picture.Info.Header;
  h.biSize = sizeof(BITMAPINFOHEADER);
  h.biWidth = width;
  h.biHeight = height;  // bottom-up
  h.biPlanes = 1;
  h.biBitCount = 8;
  h.biCompression = BI_RGB;
  h.biSizeImage = static_cast<DWORD>(size);
  GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), picture.Bits,
            reinterpret_cast<BITMAPINFO*>(&picture.Info), DIB_RGB_COLORS);
}

void WritePngFile(const std::string& fileName, const ScreenPicture& picture) {
  TPaletteDib dib;
  dib.Width = picture.Width;
  dib.Height = picture.Height;
  dib.ColorTable = reinterpret_cast<const uint8_t*>(picture.Info.Colors);
  dib.Bits = static_cast<const uint8_t*>(picture.Bits);
  TWriteFileStream file(fileName);
  try {
    WritePaletteDibAsPng(file, dib);
  } catch (...) {
    file.Close();
    DeleteFileA(fileName.c_str());
    throw;
  }
}

}  // namespace

void CaptureScreenToPng(const std::string& fileName) {
  Trace("CaptureScreenToPng", {fileName}, 2);
  if (!fileName.empty()) {
    ScreenPicture picture;
    CaptureScreen(picture);
    WritePngFile(fileName, picture);
  }
  Trace("CaptureScreenToPng=", {}, -2);
}

}  // namespace vl::delivery
