#include "win/frm_quorlin.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shobjidl.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "image/picture/picture_decoder.h"
#include "base/texts.h"
#include "win/resources.h"

namespace quorlin::win {

namespace {

// The menu items' command ids.
constexpr UINT kOpen = 101;
constexpr UINT kExit = 102;
constexpr UINT kInsert = 103;
constexpr UINT kRestore = 104;
constexpr UINT kCancel = 105;
constexpr UINT kGameFolder = 106;
constexpr UINT kRestoreSlot = 107;
constexpr UINT kUndo = 108;
constexpr UINT kSmooth = 109;
constexpr UINT kSkinBase = 1000;  // + the slot
constexpr const char* kClass = "frmQuorlin";
constexpr const char* kPictureClass = "QuorlinPicture1";
constexpr const char* kProgressClass = "QuorlinProgress";

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

HWND Child(HWND parent, const char* kind, const char* text, DWORD style, HFONT font, UINT id = 0) {
  HWND child = CreateWindowExA(0, kind, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, parent,
                               reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
  SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  return child;
}

// Functions of Windows 10 and later, looked up so that the program still starts on
// Windows 7 and 8.
template <typename Function>
Function User32(const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), name)));
}

UINT SystemDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

// The DPI a window is shown at: its monitor's where Windows tells it, else the system's.
UINT DpiOf(HWND window) {
  static const auto forWindow = User32<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
  const UINT dpi = forWindow ? forWindow(window) : 0;
  return dpi ? dpi : SystemDpi();
}

// The system's message font at a DPI, as the message boxes and dialogs use it.
HFONT MessageFont(UINT dpi) {
  static const auto forDpi = User32<BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT)>("SystemParametersInfoForDpi");
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (!forDpi || !forDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi)) {
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    metrics.lfMessageFont.lfHeight =
        MulDiv(metrics.lfMessageFont.lfHeight, static_cast<int>(dpi), static_cast<int>(SystemDpi()));
  }
  return CreateFontIndirectW(&metrics.lfMessageFont);
}

// The outer size of a window whose client area is client, with a menu bar, at a DPI.
SIZE OuterSize(SIZE client, UINT dpi) {
  static const auto forDpi = User32<BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT)>("AdjustWindowRectExForDpi");
  RECT outer{0, 0, client.cx, client.cy};
  if (!forDpi || !forDpi(&outer, kStyle, TRUE, 0, dpi)) AdjustWindowRect(&outer, kStyle, TRUE);
  return {outer.right - outer.left, outer.bottom - outer.top};
}

// UTF-16 from the program's UTF-8 and back (file names in any script).
std::wstring Wide(const std::string& text) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<size_t>(std::max(n, 1)), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), n);
  wide.resize(wcslen(wide.c_str()));
  return wide;
}

std::string Utf8(const wchar_t* wide) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(std::max(n, 1)), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), n, nullptr, nullptr);
  text.resize(strlen(text.c_str()));
  return text;
}

// A Skin menu item's bitmap: the 32 x 32 icon at one image pixel per device pixel,
// enlarged by whole steps from 192 DPI on (so it is never smoothed), as a 32-bit
// top-down DIB section, opaque.
HBITMAP MenuBitmap(const ImageBuffer& icon, UINT dpi) {
  const int step = std::max(1, static_cast<int>(dpi / 96));
  const int side = icon.Width * step;
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), side, -side, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap) return nullptr;
  auto* out = static_cast<uint8_t*>(bits);
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x, out += 4) {
      const uint8_t* p = icon.Pixels.data() + icon.Offset(x / step, y / step);
      out[0] = p[0], out[1] = p[1], out[2] = p[2], out[3] = 255;
    }
  }
  return bitmap;
}

}  // namespace

// The menus, the picture box and the status line, as the presenter's view. Every
// menu item calls the presenter's handler.
class frmQuorlin : public MainWindow, public WindowView {
 public:
  explicit frmQuorlin(HINSTANCE instance, WindowHooks hooks = {});
  ~frmQuorlin() override;
  frmQuorlin(const frmQuorlin&) = delete;
  frmQuorlin& operator=(const frmQuorlin&) = delete;

  Presenter& GetPresenter() override { return presenter_; }
  int Run() override;
  HWND Handle() const override { return hwnd_; }

  // WindowView.
  void SetTitle(const std::string& title) override { SetWindowTextA(hwnd_, title.c_str()); }
  void Show() override {
    ::ShowWindow(hwnd_, SW_SHOW);
    UpdateWindow(hwnd_);
  }
  void Close() override { DestroyWindow(hwnd_); }
  void SetStatus(const std::string& text, bool repaintNow) override {
    SetWindowTextA(lblStatus, text.c_str());
    if (repaintNow) UpdateWindow(lblStatus);
  }
  MessageAnswer ShowMessage(const std::string& text, const std::string& title, MessageIcon icon,
                            MessageButtons buttons) override;
  void ShowPicture(const ImageBuffer* image) override;
  void SetSkinItemChecked(int index, bool checked) override {
    CheckMenuItem(mnuskin, kSkinBase + static_cast<UINT>(index), MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
  }
  void SetSkinItemIcon(int index, const ImageBuffer* icon) override;
  std::optional<std::string> AskForPicture(const std::string& title, const std::vector<FileFilter>& filters,
                                           const std::string& startFolder) override;
  void SetSmoothLevelsChecked(bool checked) override {
    CheckMenuItem(mnuedit_, kSmooth, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
  }
  std::optional<std::string> AskForFolder(const std::string& title, const std::string& startFolder) override;
  bool ShowProgress(const std::string& what, int thousandths) override;
  void CloseProgress() override;
  void SetBusy(bool busy) override {
    busy_ = busy;
    SetCursor(LoadCursorA(nullptr, busy ? IDC_WAIT : IDC_ARROW));
  }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK PictureProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT OnMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void CreateMenus();
  void Layout(UINT dpi);
  // Draws a Skin menu item's bitmap at the window's DPI (none without an icon).
  void ShowSkinIcon(int index);

  Presenter presenter_;
  HINSTANCE instance_;
  HWND hwnd_ = nullptr;
  HWND Picture1 = nullptr;
  HWND Frame1 = nullptr;
  HWND lblStatus = nullptr;
  HMENU mnuskin = nullptr;
  HMENU mnuedit_ = nullptr;
  std::map<int, ImageBuffer> skinIcons_;  // the icons shown, kept to draw them again at another DPI
  std::map<int, HBITMAP> skinBitmaps_;    // and their bitmaps, which the menu does not own
  UINT dpi_ = 96;
  HFONT font_ = nullptr;  // the system's message font at dpi_
  // What Picture1 shows, as a top-down 24-bit DIB: rows padded to 4 bytes.
  BITMAPINFO shownInfo_{};
  std::vector<uint8_t> shown_;
  bool busy_ = false;
  // The copy progress window, shown only for copies lasting over half a second.
  HWND progress_ = nullptr;
  HWND progressText_ = nullptr;
  HWND progressBar_ = nullptr;
  bool cancelled_ = false;
  std::chrono::steady_clock::time_point progressStart_;
};

frmQuorlin* Self(HWND hwnd) { return reinterpret_cast<frmQuorlin*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA)); }

std::unique_ptr<MainWindow> CreateMainWindow(HINSTANCE instance, WindowHooks hooks) {
  return std::make_unique<frmQuorlin>(instance, std::move(hooks));
}

frmQuorlin::frmQuorlin(HINSTANCE instance, WindowHooks hooks)
    : presenter_(*this, DecodePicture, std::move(hooks)), instance_(instance) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  WNDCLASSA window{};
  window.lpfnWndProc = WindowProc;
  window.hInstance = instance;
  window.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(kIconResource));
  window.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  window.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window.lpszClassName = kClass;
  RegisterClassA(&window);
  window.lpfnWndProc = PictureProc;
  window.hIcon = nullptr;
  window.lpszClassName = kPictureClass;
  RegisterClassA(&window);
  window.lpfnWndProc = WindowProc;
  window.lpszClassName = kProgressClass;
  RegisterClassA(&window);

  hwnd_ = CreateWindowExA(0, kClass, text::kProgramTitle, kStyle, CW_USEDEFAULT, CW_USEDEFAULT, 537, 545, nullptr,
                          nullptr, instance, nullptr);
  SetWindowLongPtrA(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  Picture1 = Child(hwnd_, kPictureClass, "", 0, nullptr);
  SetWindowLongPtrA(Picture1, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  Frame1 = Child(hwnd_, "STATIC", "", SS_ETCHEDFRAME, nullptr);
  lblStatus = Child(Frame1, "STATIC", text::kReady, SS_LEFT | SS_CENTERIMAGE, nullptr);
  CreateMenus();
  DragAcceptFiles(hwnd_, TRUE);
  Layout(DpiOf(hwnd_));
}

frmQuorlin::~frmQuorlin() {
  CloseProgress();
  if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
  if (font_) DeleteObject(font_);
  for (const auto& [index, bitmap] : skinBitmaps_) DeleteObject(bitmap);
}

// The form as it was drawn at 96 DPI (a client area of 537 x 545, the controls at
// fixed places), scaled to the DPI the window is shown at; the picture box always
// holds a 512 x 512 picture drawn one image pixel per device pixel.
void frmQuorlin::Layout(UINT dpi) {
  dpi_ = dpi;
  const auto at = [dpi](int v) { return MulDiv(v, static_cast<int>(dpi), 96); };
  if (font_) DeleteObject(font_);
  font_ = MessageFont(dpi);
  SendMessageA(lblStatus, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
  const SIZE outer = OuterSize({at(537), at(545)}, dpi);
  SetWindowPos(hwnd_, nullptr, 0, 0, outer.cx, outer.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  MoveWindow(Picture1, at(12), at(4), std::max(at(513), 512), std::max(at(513), 512), TRUE);
  MoveWindow(Frame1, at(8), at(517), at(521), at(28), TRUE);
  MoveWindow(lblStatus, at(6), at(3), at(509), at(22), TRUE);
  for (const auto& [index, icon] : skinIcons_) ShowSkinIcon(index);
}

void frmQuorlin::CreateMenus() {
  HMENU bar = CreateMenu();
  HMENU mnufile = CreatePopupMenu();
  AppendMenuA(mnufile, MF_STRING, kOpen, "&Open");
  AppendMenuA(mnufile, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(mnufile, MF_STRING, kGameFolder, "&Game Folder...");
  AppendMenuA(mnufile, MF_STRING, kExit, "E&xit");
  HMENU mnuedit = CreatePopupMenu();
  AppendMenuA(mnuedit, MF_STRING, kInsert, "&Insert Skin");
  AppendMenuA(mnuedit, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(mnuedit, MF_STRING, kRestore, "&Restore to Original");
  AppendMenuA(mnuedit, MF_STRING, kRestoreSlot, "Restore &Slot to Original");
  AppendMenuA(mnuedit, MF_STRING, kUndo, "&Undo Last Change to Slot");
  AppendMenuA(mnuedit, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(mnuedit, MF_STRING, kSmooth, "S&mooth Texture Levels");
  mnuedit_ = mnuedit;
  // The ticks are set by the presenter through SetSkinItemChecked alone.
  mnuskin = CreatePopupMenu();
  for (int index = kFirstMenuSlot; index <= kLastMenuSlot; ++index) {
    AppendMenuA(mnuskin, MF_STRING, kSkinBase + static_cast<UINT>(index), std::to_string(index).c_str());
  }
  AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(mnufile), "&File");
  AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(mnuedit), "&Edit");
  AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(mnuskin), "&Skin");
  SetMenu(hwnd_, bar);
}

int frmQuorlin::Run() {
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return presenter_.ExitStatus();
}

// ---- window procedures ----

LRESULT CALLBACK frmQuorlin::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  frmQuorlin* self = Self(hwnd);
  if (self && hwnd == self->hwnd_) return self->OnMessage(message, wparam, lparam);
  if (self && hwnd == self->progress_ &&
      ((message == WM_COMMAND && LOWORD(wparam) == kCancel) || message == WM_CLOSE)) {
    self->cancelled_ = true;
    return 0;
  }
  return DefWindowProcA(hwnd, message, wparam, lparam);
}

LRESULT frmQuorlin::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND: {
      const UINT id = LOWORD(wparam);
      static const std::map<UINT, void (Presenter::*)()> kHandlers = {
          {kOpen, &Presenter::mnufileopen_Click},         {kExit, &Presenter::mnufileexit_Click},
          {kInsert, &Presenter::mnueditInsert_Click},     {kRestore, &Presenter::mnueditRestore_Click},
          {kGameFolder, &Presenter::mnufileGameFolder_Click}, {kRestoreSlot, &Presenter::mnueditRestoreSlot_Click},
          {kUndo, &Presenter::mnueditUndo_Click},         {kSmooth, &Presenter::mnueditSmooth_Click}};
      if (const auto handler = kHandlers.find(id); handler != kHandlers.end()) (presenter_.*handler->second)();
      if (id > kSkinBase + kFirstMenuSlot - 1 && id <= kSkinBase + kLastMenuSlot) {
        presenter_.skinl_Click(static_cast<int>(id - kSkinBase));
      }
      return 0;
    }
    case WM_SETCURSOR:
      if (busy_) {
        SetCursor(LoadCursorA(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case WM_CTLCOLORSTATIC:
      SetBkMode(reinterpret_cast<HDC>(wparam), TRANSPARENT);
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    case WM_DPICHANGED: {  // moved to a monitor of another scaling, or the scaling changed
      const RECT* suggested = reinterpret_cast<const RECT*>(lparam);
      SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      Layout(HIWORD(wparam));
      return 0;
    }
    case WM_DROPFILES: {  // files dropped from Explorer: one picture is opened as File > Open does
      HDROP drop = reinterpret_cast<HDROP>(wparam);
      std::vector<std::string> paths;
      const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
      for (UINT i = 0; i < count; ++i) {
        std::wstring path(DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
        DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size()));
        paths.push_back(Utf8(path.c_str()));
      }
      DragFinish(drop);
      presenter_.DropFiles(paths);
      return 0;
    }
    case WM_CLOSE:  // closing the window is File > Exit
      presenter_.mnufileexit_Click();
      return 0;
    case WM_DESTROY:
      PostQuitMessage(presenter_.ExitStatus());
      return 0;
    default:
      break;
  }
  return DefWindowProcA(hwnd_, message, wparam, lparam);
}

// Picture1 keeps its own copy of what it shows and draws it unscaled at its top
// left, one screen pixel per image pixel, whenever it repaints.
LRESULT CALLBACK frmQuorlin::PictureProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message != WM_PAINT) return DefWindowProcA(hwnd, message, wparam, lparam);
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(hwnd, &paint);
  const frmQuorlin* self = Self(hwnd);
  if (self && !self->shown_.empty()) {
    const BITMAPINFOHEADER& h = self->shownInfo_.bmiHeader;
    SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(h.biWidth), static_cast<DWORD>(-h.biHeight), 0, 0, 0,
                      static_cast<UINT>(-h.biHeight), self->shown_.data(), &self->shownInfo_, DIB_RGB_COLORS);
  }
  EndPaint(hwnd, &paint);
  return 0;
}

// ---- WindowView ----

MessageAnswer frmQuorlin::ShowMessage(const std::string& text, const std::string& title, MessageIcon icon,
                                      MessageButtons buttons) {
  UINT style = buttons == MessageButtons::YesNo ? MB_YESNO : MB_OK;
  if (icon == MessageIcon::Critical) style |= MB_ICONERROR;
  if (icon == MessageIcon::Information) style |= MB_ICONINFORMATION;
  if (icon == MessageIcon::Question) style |= MB_ICONQUESTION;
  const int answer = MessageBoxA(IsWindowVisible(hwnd_) ? hwnd_ : nullptr, text.c_str(), title.c_str(), style);
  if (buttons == MessageButtons::Ok) return MessageAnswer::Ok;
  return answer == IDYES ? MessageAnswer::Yes : MessageAnswer::No;
}

void frmQuorlin::ShowPicture(const ImageBuffer* image) {
  shown_.clear();
  if (image && image->Width > 0 && image->Height > 0 &&
      image->Pixels.size() >= PixelBytes(image->Width, image->Height)) {
    // A top-down DIB (negative height) with each row padded to four bytes: Pixels has
    // no padding, and the draw must not read past it.
    const size_t row = static_cast<size_t>(image->Width) * 3;
    const size_t stride = (row + 3) & ~size_t{3};
    shown_.assign(stride * static_cast<size_t>(image->Height), 0);
    for (int32_t y = 0; y < image->Height; ++y) {
      std::copy_n(image->Pixels.data() + static_cast<size_t>(y) * row, row,
                  shown_.data() + static_cast<size_t>(y) * stride);
    }
    shownInfo_ = {};
    shownInfo_.bmiHeader = {sizeof(BITMAPINFOHEADER), image->Width, -image->Height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  }
  InvalidateRect(Picture1, nullptr, TRUE);
  UpdateWindow(Picture1);
}

std::optional<std::string> frmQuorlin::AskForPicture(const std::string& title, const std::vector<FileFilter>& filters,
                                                     const std::string& startFolder) {
  std::string filter;  // label, NUL, patterns, NUL, ..., NUL
  for (const FileFilter& f : filters) filter += f.Label + '\0' + f.Patterns + '\0';
  char path[MAX_PATH] = {};
  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = hwnd_;
  dialog.lpstrFilter = filter.c_str();
  dialog.lpstrFile = path;
  dialog.nMaxFile = sizeof path;
  dialog.lpstrTitle = title.c_str();
  dialog.lpstrInitialDir = startFolder.empty() ? nullptr : startFolder.c_str();
  dialog.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
  if (!GetOpenFileNameA(&dialog)) return std::nullopt;
  return std::string(path);
}

void frmQuorlin::SetSkinItemIcon(int index, const ImageBuffer* icon) {
  if (icon && icon->Width == 32 && icon->Height == 32 && icon->Pixels.size() >= PixelBytes(32, 32)) {
    skinIcons_[index] = *icon;
  } else {
    skinIcons_.erase(index);
  }
  ShowSkinIcon(index);
}

void frmQuorlin::ShowSkinIcon(int index) {
  const auto icon = skinIcons_.find(index);
  HBITMAP bitmap = icon == skinIcons_.end() ? nullptr : MenuBitmap(icon->second, dpi_);
  MENUITEMINFOA item{};
  item.cbSize = sizeof item;
  item.fMask = MIIM_BITMAP;
  item.hbmpItem = bitmap;
  SetMenuItemInfoA(mnuskin, kSkinBase + static_cast<UINT>(index), FALSE, &item);
  if (const auto old = skinBitmaps_.find(index); old != skinBitmaps_.end()) DeleteObject(old->second);
  if (bitmap) {
    skinBitmaps_[index] = bitmap;
  } else {
    skinBitmaps_.erase(index);
  }
}

std::optional<std::string> frmQuorlin::AskForFolder(const std::string& title, const std::string& startFolder) {
  // The shell's own folder dialog (Vista and later), on this thread's COM apartment.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  std::optional<std::string> chosen;
  IFileOpenDialog* dialog = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&dialog)))) {
    DWORD options = 0;
    dialog->GetOptions(&options);
    dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
    dialog->SetTitle(Wide(title).c_str());
    IShellItem* start = nullptr;
    if (!startFolder.empty() &&
        SUCCEEDED(SHCreateItemFromParsingName(Wide(startFolder).c_str(), nullptr, IID_PPV_ARGS(&start)))) {
      dialog->SetFolder(start);
      start->Release();
    }
    IShellItem* result = nullptr;
    if (SUCCEEDED(dialog->Show(hwnd_)) && SUCCEEDED(dialog->GetResult(&result))) {
      PWSTR path = nullptr;
      if (SUCCEEDED(result->GetDisplayName(SIGDN_FILESYSPATH, &path))) {
        chosen = Utf8(path);
        CoTaskMemFree(path);
      }
      result->Release();
    }
    dialog->Release();
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return chosen;
}

bool frmQuorlin::ShowProgress(const std::string& what, int thousandths) {
  if (!progress_) {
    // A new copy. Its window appears only once the copy has lasted half a second;
    // the main window takes no input until it ends.
    cancelled_ = false;
    progressStart_ = std::chrono::steady_clock::now();
    const auto at = [this](int v) { return MulDiv(v, static_cast<int>(dpi_), 96); };
    progress_ = CreateWindowExA(WS_EX_DLGMODALFRAME, kProgressClass, text::kProgramTitle, WS_POPUP | WS_CAPTION, 0, 0,
                                at(360), at(130), hwnd_, nullptr, instance_, nullptr);
    SetWindowLongPtrA(progress_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    progressText_ = Child(progress_, "STATIC", "", SS_LEFT, font_);
    MoveWindow(progressText_, at(12), at(10), at(330), at(18), FALSE);
    progressBar_ = Child(progress_, PROGRESS_CLASSA, "", 0, font_);
    MoveWindow(progressBar_, at(12), at(34), at(330), at(18), FALSE);
    SendMessageA(progressBar_, PBM_SETRANGE32, 0, 1000);
    MoveWindow(Child(progress_, "BUTTON", "Cancel", BS_PUSHBUTTON, font_, kCancel), at(262), at(62), at(80), at(26),
               FALSE);
    EnableWindow(hwnd_, FALSE);
  }
  SetWindowTextA(progressText_, what.c_str());
  SendMessageA(progressBar_, PBM_SETPOS, static_cast<WPARAM>(thousandths), 0);
  if (!IsWindowVisible(progress_) &&
      std::chrono::steady_clock::now() - progressStart_ > std::chrono::milliseconds(500)) {
    RECT r;
    GetWindowRect(hwnd_, &r);
    SetWindowPos(progress_, HWND_TOP, r.left + MulDiv(90, static_cast<int>(dpi_), 96),
                 r.top + MulDiv(200, static_cast<int>(dpi_), 96), 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
  }
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return !cancelled_;
}

void frmQuorlin::CloseProgress() {
  if (!progress_) return;
  EnableWindow(hwnd_, TRUE);
  DestroyWindow(progress_);
  progress_ = nullptr;
  progressBar_ = nullptr;
}

}  // namespace quorlin::win
