#include "win/test_aids.h"

#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "image/picture/picture_decoder.h"
#include "base/error.h"
#include "platform/native_file.h"

namespace quorlin::win {

namespace {

// Grabs the whole screen into a 24-bit top-down buffer and saves it: as a BMP file when
// the name ends in .bmp (the rows as grabbed), otherwise as a PNG file.
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
  const size_t row = static_cast<size_t>(w) * 3, stride = (row + 3) & ~size_t{3};
  const auto* pixels = static_cast<const uint8_t*>(bits);
  const bool bmp = path.size() > 4 && _stricmp(path.c_str() + path.size() - 4, ".bmp") == 0;
  std::vector<uint8_t> file;
  ImageBuffer image;
  if (bmp) {
    const DWORD headers = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    const BITMAPFILEHEADER head{0x4D42, static_cast<DWORD>(headers + stride * h), 0, 0, headers};
    file.assign(reinterpret_cast<const uint8_t*>(&head), reinterpret_cast<const uint8_t*>(&head + 1));
    file.insert(file.end(), reinterpret_cast<const uint8_t*>(&info.bmiHeader),
                reinterpret_cast<const uint8_t*>(&info.bmiHeader + 1));
    file.insert(file.end(), pixels, pixels + stride * h);
  } else {
    image.Width = w;
    image.Height = h;
    image.BitsPerPixel = 24;
    for (int y = 0; y < h; ++y) image.Pixels.insert(image.Pixels.end(), pixels + y * stride, pixels + y * stride + row);
  }
  SelectObject(dc, old);
  DeleteObject(grab);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  try {
    bmp ? WriteWholeFile(path, file) : SavePng(path, image);
  } catch (const QuorlinError& e) {
    std::fprintf(stderr, "screenshot: %s\n", e.what());
    return false;
  }
  return true;
}

// Files dropped as Explorer drops them: an HDROP (a DROPFILES header, then each
// name in UTF-16 with its NUL and one more NUL to end the list, in one moveable
// global block) posted to the window in WM_DROPFILES, whose handler frees it.
void PostDrop(HWND window, const std::string& files) {
  std::wstring names;
  for (size_t start = 0; start <= files.size();) {
    const size_t end = std::min(files.find(';', start), files.size());
    const std::string name = files.substr(start, end - start);
    if (!name.empty()) {
      std::wstring wide(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, name.c_str(), -1, nullptr, 0)), L'\0');
      MultiByteToWideChar(CP_UTF8, 0, name.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
      names += wide;  // with its NUL
    }
    start = end + 1;
  }
  names += L'\0';
  const size_t bytes = sizeof(DROPFILES) + names.size() * sizeof(wchar_t);
  HGLOBAL drop = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
  if (!drop) return;
  auto* header = static_cast<DROPFILES*>(GlobalLock(drop));
  header->pFiles = sizeof(DROPFILES);
  header->fWide = TRUE;
  std::copy(names.begin(), names.end(), reinterpret_cast<wchar_t*>(header + 1));
  GlobalUnlock(drop);
  if (!PostMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0)) GlobalFree(drop);
}

}  // namespace

void StartTestAids(MainWindow& window, const std::string& screenshot) {
  static std::string file;
  static MainWindow* grabbed = nullptr;
  if (const char* drop = std::getenv("QUORLIN_TEST_DROP"); drop && *drop) PostDrop(window.Handle(), drop);
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
    grabbed->GetPresenter().mnufileexit_Click();
  });
}

}  // namespace quorlin::win
