// The screen capture under Wine on the virtual display: a topmost window in four colours that
// every 8-bit colour table holds exactly, the pointer at a known spot, the capture made from a
// thread that owns no window (as the pipeline's worker), and the file decoded by GDI+.
// GDI+ needs the COM declarations that WIN32_LEAN_AND_MEAN leaves out, and windows.h first.
#undef WIN32_LEAN_AND_MEAN
// clang-format off
#include <windows.h>
#include <gdiplus.h>
// clang-format on

#include "delivery/screen_capture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <exception>
#include <string>
#include <thread>
#include <vector>

#include "runtime/exceptions.h"
#include "support/win_process.h"

using namespace vl;

namespace {

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

// Colours as GDI+ reports them (0xAARRGGBB) and as GDI takes them.
struct Quadrant {
  COLORREF Gdi;
  ARGB Argb;
};
const Quadrant kQuadrants[4] = {
    {RGB(255, 0, 0), 0xFFFF0000u},      // top left
    {RGB(0, 255, 0), 0xFF00FF00u},      // top right
    {RGB(0, 0, 255), 0xFF0000FFu},      // bottom left
    {RGB(255, 255, 255), 0xFFFFFFFFu},  // bottom right: the pointer sits here
};
const int kLeft = 100, kTop = 80, kWidth = 400, kHeight = 300;

LRESULT CALLBACK QuadrantProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    for (int i = 0; i < 4; ++i) {
      RECT r{(i % 2) * kWidth / 2, (i / 2) * kHeight / 2, (i % 2 + 1) * kWidth / 2,
             (i / 2 + 1) * kHeight / 2};
      HBRUSH brush = CreateSolidBrush(kQuadrants[i].Gdi);
      FillRect(dc, &r, brush);
      DeleteObject(brush);
    }
    EndPaint(window, &ps);
    return 0;
  }
  return DefWindowProcA(window, message, w, l);
}

// The four-colour window, topmost, on the test's thread.
class QuadrantWindow {
 public:
  explicit QuadrantWindow(LPCSTR cursor) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = QuadrantProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursor(nullptr, cursor);
    wc.lpszClassName = "VlCaptureQuadrants";
    UnregisterClassA(wc.lpszClassName, wc.hInstance);
    RegisterClassA(&wc);
    window_ =
        CreateWindowExA(WS_EX_TOPMOST, wc.lpszClassName, "capture", WS_POPUP | WS_VISIBLE, kLeft,
                        kTop, kWidth, kHeight, nullptr, nullptr, wc.hInstance, nullptr);
    SetForegroundWindow(window_);
    UpdateWindow(window_);
    Pump(300);
  }
  ~QuadrantWindow() {
    DestroyWindow(window_);
    UnregisterClassA("VlCaptureQuadrants", GetModuleHandleA(nullptr));
  }
  HWND Handle() const { return window_; }

  // Handles this thread's messages for about Ms milliseconds.
  static void Pump(DWORD ms) {
    DWORD end = GetTickCount() + ms;
    do {
      MSG msg;
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
      GdiFlush();
      Sleep(10);
    } while (static_cast<int>(end - GetTickCount()) > 0);
  }

 private:
  HWND window_;
};

BOOL CALLBACK CountWindow(HWND, LPARAM count) {
  ++*reinterpret_cast<int*>(count);
  return TRUE;
}

// Runs the capture on a new thread that owns no window, handling the test thread's messages
// meanwhile; rethrows what the capture raised.
void CaptureFromWorker(const std::string& fileName) {
  std::exception_ptr failure;
  int windows = -1;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    windows = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&windows));
    try {
      delivery::CaptureScreenToPng(fileName);
    } catch (...) {
      failure = std::current_exception();
    }
    done = true;
  });
  while (!done) QuadrantWindow::Pump(20);
  worker.join();
  EXPECT_EQ(windows, 0) << "the capturing thread owns no window";
  if (failure) std::rethrow_exception(failure);
}

class GdiplusSession {
 public:
  GdiplusSession() {
    GdiplusStartupInput input;
    ok_ = GdiplusStartup(&token_, &input, nullptr) == Ok;
  }
  ~GdiplusSession() {
    if (ok_) GdiplusShutdown(token_);
  }
  bool Started() const { return ok_; }

 private:
  ULONG_PTR token_ = 0;
  bool ok_ = false;
};

// A PNG file decoded by GDI+ into 32-bit ARGB pixels.
struct Picture {
  UINT Width = 0, Height = 0;
  std::vector<ARGB> Pixels;
  ARGB At(int x, int y) const { return Pixels[static_cast<size_t>(y) * Width + x]; }
};

bool LoadPicture(const std::string& path, Picture& picture) {
  std::wstring wide(path.begin(), path.end());
  GpBitmap* bitmap = nullptr;
  if (GdipCreateBitmapFromFile(wide.c_str(), &bitmap) != Ok || !bitmap) return false;
  GdipGetImageWidth(bitmap, &picture.Width);
  GdipGetImageHeight(bitmap, &picture.Height);
  picture.Pixels.resize(static_cast<size_t>(picture.Width) * picture.Height);
  GpRect all(0, 0, static_cast<INT>(picture.Width), static_cast<INT>(picture.Height));
  BitmapData data{};
  bool ok = GdipBitmapLockBits(bitmap, &all, ImageLockModeRead, PixelFormat32bppARGB, &data) == Ok;
  if (ok) {
    for (UINT y = 0; y < picture.Height; ++y)
      memcpy(&picture.Pixels[static_cast<size_t>(y) * picture.Width],
             static_cast<const char*>(data.Scan0) + static_cast<ptrdiff_t>(y) * data.Stride,
             picture.Width * sizeof(ARGB));
    GdipBitmapUnlockBits(bitmap, &data);
  }
  GdipDisposeImage(bitmap);
  return ok;
}

// The cursor drawn the way the capture draws it, onto white, and read back through the same
// 8-bit conversion, as 0xFFRRGGBB values.
std::vector<ARGB> CursorOnWhite(HCURSOR cursor) {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 32, 32);
  HGDIOBJ old = SelectObject(dc, bitmap);
  RECT all{0, 0, 32, 32};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  DrawIconEx(dc, 0, 0, cursor, 32, 32, 0, nullptr, DI_NORMAL);
  SelectObject(dc, old);
  struct {
    BITMAPINFOHEADER Header;
    RGBQUAD Colors[256];
  } info{};
  info.Header.biSize = sizeof(BITMAPINFOHEADER);
  info.Header.biWidth = 32;
  info.Header.biHeight = -32;  // top-down
  info.Header.biPlanes = 1;
  info.Header.biBitCount = 8;
  info.Header.biCompression = BI_RGB;
  uint8_t bits[32 * 32] = {};
  GetDIBits(dc, bitmap, 0, 32, bits, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  std::vector<ARGB> out;
  for (uint8_t index : bits) {
    const RGBQUAD& c = info.Colors[index];
    out.push_back(0xFF000000u | (ARGB{c.rgbRed} << 16) | (ARGB{c.rgbGreen} << 8) | c.rgbBlue);
  }
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return out;
}

std::string TestFolder() { return testsupport::ExeFolder() + "capture_files\\"; }

std::string ArtifactFolder() {
  std::string folder = testsupport::ExeFolder() + "..\\..\\test-artifacts";
  CreateDirectoryA(folder.c_str(), nullptr);
  folder += "\\screenshot";
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder + "\\";
}

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((folder + "*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do names.push_back(data.cFileName);
  while (FindNextFileA(find, &data));
  FindClose(find);
  return names;
}

class ScreenCapture : public testing::Test {
 protected:
  void SetUp() override {
    CreateDirectoryA(TestFolder().c_str(), nullptr);
    ASSERT_TRUE(gdiplus_.Started());
  }
  GdiplusSession gdiplus_;
};

}  // namespace

// The whole screen at its full size, the window's colours exact, the cursor drawn with its
// top-left corner at the pointer, and an older file of that name replaced.
TEST_F(ScreenCapture, WholeScreenWithColoursAndCursorFromAThreadWithoutWindows) {
  QuadrantWindow window(IDC_CROSS);
  const int pointerX = kLeft + kWidth * 3 / 4, pointerY = kTop + kHeight * 3 / 4;
  ASSERT_TRUE(SetCursorPos(pointerX, pointerY));
  QuadrantWindow::Pump(300);

  const std::string file = TestFolder() + "screen.png";
  {
    std::vector<char> old(3 << 20, 'x');  // larger than any capture of this screen
    FILE* f = std::fopen(file.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(old.data(), 1, old.size(), f);
    std::fclose(f);
  }
  CaptureFromWorker(file);
  CopyFileA(file.c_str(), (ArtifactFolder() + "capture.png").c_str(), FALSE);

  Picture picture;
  ASSERT_TRUE(LoadPicture(file, picture)) << "GDI+ decodes the file that replaced the old one";
  HDC screen = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
  EXPECT_EQ(picture.Width, static_cast<UINT>(GetDeviceCaps(screen, HORZRES)));
  EXPECT_EQ(picture.Height, static_cast<UINT>(GetDeviceCaps(screen, VERTRES)));
  DeleteDC(screen);

  // Each quadrant's colour, sampled on a grid away from the pointer.
  for (int i = 0; i < 4; ++i) {
    int x0 = kLeft + (i % 2) * kWidth / 2, y0 = kTop + (i / 2) * kHeight / 2;
    int wrong = 0;
    for (int y = y0; y < y0 + kHeight / 2; y += 7)
      for (int x = x0; x < x0 + kWidth / 2; x += 7) {
        bool underCursor = x >= pointerX && x < pointerX + 32 && y >= pointerY && y < pointerY + 32;
        if (!underCursor && picture.At(x, y) != kQuadrants[i].Argb) ++wrong;
      }
    EXPECT_EQ(wrong, 0) << "quadrant " << i << ", e.g. " << std::hex << picture.At(x0 + 3, y0 + 3);
  }

  // The cursor on screen, drawn 32 x 32 at the pointer, hot spot not subtracted.
  std::vector<ARGB> expected = CursorOnWhite(LoadCursor(nullptr, IDC_CROSS));
  int differ = 0, drawn = 0;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      ARGB got = picture.At(pointerX + x, pointerY + y);
      differ += got != expected[y * 32 + x];
      drawn += got != 0xFFFFFFFFu;
    }
  EXPECT_GT(drawn, 0) << "the cursor is in the picture";
  EXPECT_EQ(differ, 0) << "the cursor of the window under the pointer, at the pointer";
  if (differ != 0) {
    for (int y = 0; y < 32; ++y) {
      std::string got, want;
      for (int x = 0; x < 32; ++x) {
        got += picture.At(pointerX + x, pointerY + y) == 0xFFFFFFFFu ? '.' : '#';
        want += expected[y * 32 + x] == 0xFFFFFFFFu ? '.' : '#';
      }
      std::printf("%s   %s\n", got.c_str(), want.c_str());
    }
  }
}

TEST_F(ScreenCapture, EmptyNameWritesNothingAndAFolderRaises) {
  const std::vector<std::string> before = FilesIn(TestFolder());
  EXPECT_NO_THROW(CaptureFromWorker(""));
  EXPECT_EQ(FilesIn(TestFolder()), before);

  const std::string folder = TestFolder() + "a folder.png";
  CreateDirectoryA(folder.c_str(), nullptr);
  EXPECT_THROW(CaptureFromWorker(folder), EFCreateError);
  DWORD attributes = GetFileAttributesA(folder.c_str());
  EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));

  EXPECT_THROW(CaptureFromWorker(TestFolder() + "no such folder\\x.png"), EFCreateError);
  EXPECT_EQ(GetFileAttributesA((TestFolder() + "no such folder").c_str()), INVALID_FILE_ATTRIBUTES);
}

// Repeated captures give back every graphics object (the bitmap and palette are deselected
// before they are deleted). Where the system keeps no count (Wine answers 0) only the repeated
// replacement of the file is checked.
TEST_F(ScreenCapture, RepeatedCapturesLeaveNoGraphicsObjects) {
  const std::string file = TestFolder() + "again.png";
  delivery::CaptureScreenToPng(file);
  DWORD before = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  for (int i = 0; i < 5; ++i) delivery::CaptureScreenToPng(file);
  DWORD after = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  if (before != 0) {
    EXPECT_EQ(after, before);
  }
  Picture picture;
  EXPECT_TRUE(LoadPicture(file, picture));
  EXPECT_GT(picture.Width, 0u);
}
