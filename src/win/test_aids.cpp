#include "win/test_aids.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "image/picture/picture_decoder.h"

namespace quorlin::win {

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

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
  std::string reason;
  const bool saved = SavePng(path, image, reason);
  if (!saved) std::fprintf(stderr, "screenshot: %s\n", reason.c_str());
  return saved;
}

}  // namespace

WindowHooks HooksFromEnvironment() {
  WindowHooks hooks;
  const std::string answer = Environment("QUORLIN_TEST_AUTO_ANSWER");
  if (answer.empty()) return hooks;
  if (answer != "yes" && answer != "no") {
    std::fprintf(stderr, "QUORLIN_TEST_AUTO_ANSWER must be yes or no; message boxes are shown as usual\n");
    return hooks;
  }
  const MessageAnswer toQuestions = answer == "yes" ? MessageAnswer::Yes : MessageAnswer::No;
  hooks.answerMessage = [toQuestions](const std::string& text, const std::string& title, MessageIcon,
                                      MessageButtons buttons) {
    std::fprintf(stderr, "message: %s: %s\n", title.c_str(), text.c_str());
    std::fflush(stderr);
    return buttons == MessageButtons::YesNo ? toQuestions : MessageAnswer::Ok;
  };
  hooks.firstShown = [] {
    std::fprintf(stderr, "window shown\n");
    std::fflush(stderr);
  };
  return hooks;
}

void StartTestAids(frmQuorlin& window) {
  if (const std::string picture = Environment("QUORLIN_TEST_PICTURE"); !picture.empty()) {
    window.OpenPictureFile(picture);
  }
  static std::string screenshot;
  static frmQuorlin* grabbed = nullptr;
  screenshot = Environment("QUORLIN_TEST_SCREENSHOT");
  if (screenshot.empty()) return;
  grabbed = &window;
  SetTimer(nullptr, 0, 500, [](HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    RedrawWindow(grabbed->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    if (!SaveScreen(screenshot)) std::exit(2);
    grabbed->mnufileexit_Click();
  });
}

}  // namespace quorlin::win
