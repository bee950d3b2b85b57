#include "win/test_aids.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "image/picture/picture_decoder.h"
#include "platform/error.h"

namespace quorlin::win {

namespace {

// Grabs the whole screen into a 24-bit top-down buffer and saves it as a PNG file.
bool SaveScreen(const std::string& path) {
  const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP grab = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, grab);
  BitBlt(dc, 0, 0, w, h, screen, 0, 0, SRCCOPY);
  GdiFlush();
  ImageBuffer image;
  image.Width = w;
  image.Height = h;
  image.BitsPerPixel = 24;
  const size_t row = static_cast<size_t>(w) * 3, stride = (row + 3) & ~size_t{3};
  for (int y = 0; y < h; ++y) {
    const auto* p = static_cast<const uint8_t*>(bits) + static_cast<size_t>(y) * stride;
    image.Pixels.insert(image.Pixels.end(), p, p + row);
  }
  SelectObject(dc, old);
  DeleteObject(grab);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  try {
    SavePng(path, image);
  } catch (const QuorlinError& e) {
    std::fprintf(stderr, "screenshot: %s\n", e.what());
    return false;
  }
  return true;
}

}  // namespace

void StartTestAids(MainWindow& window, const std::string& screenshot) {
  static std::string file;
  static MainWindow* grabbed = nullptr;
  if (screenshot.empty()) return;
  file = screenshot;
  grabbed = &window;
  SetTimer(nullptr, 0, 500, [](HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    RedrawWindow(grabbed->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    // Where the window's client area and its picture box lie on the screen grabbed.
    POINT client{0, 0}, picture{0, 0};
    ClientToScreen(grabbed->Handle(), &client);
    ClientToScreen(FindWindowExA(grabbed->Handle(), nullptr, "QuorlinPicture1", nullptr), &picture);
    std::fprintf(stderr, "client at %ld,%ld\npicture at %ld,%ld\n", client.x, client.y, picture.x, picture.y);
    if (!SaveScreen(file)) std::exit(2);
    grabbed->presenter().mnufileexit_Click();
  });
}

}  // namespace quorlin::win
