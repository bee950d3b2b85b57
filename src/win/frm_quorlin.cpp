#include "win/frm_quorlin.h"

#include <commctrl.h>
#include <commdlg.h>

#include <exception>

#include "image/picture/picture_decoder.h"
#include "platform/error.h"

namespace quorlin::win {

namespace {

enum : UINT { kOpen = 101, kExit, kInsert, kRestore, kCancel, kSkinBase = 1000 };
constexpr int kProgressSteps = 1000;  // thousandths, so that files of any length fit
constexpr const char* kClass = "frmQuorlin";
constexpr const char* kPictureClass = "QuorlinPicture1";
constexpr const char* kProgressClass = "QuorlinProgress";

// The window's 32x32 icon, drawn here rather than shipped as a file: a gold ring
// with its tail, a "Q", on a dark blue tile (as the Qt window draws it).
HICON MakeWindowIcon() {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP colour = CreateCompatibleBitmap(screen, 32, 32);
  HBITMAP mask = CreateBitmap(32, 32, 1, 1, nullptr);
  HGDIOBJ old = SelectObject(dc, colour);
  HBRUSH tile = CreateSolidBrush(RGB(32, 52, 92));
  HPEN edge = CreatePen(PS_SOLID, 1, RGB(200, 210, 230));
  HPEN ring = CreatePen(PS_SOLID, 4, RGB(240, 184, 48));
  const RECT all{0, 0, 32, 32};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  SelectObject(dc, edge);
  SelectObject(dc, tile);
  RoundRect(dc, 1, 1, 31, 31, 10, 10);
  SelectObject(dc, ring);
  SelectObject(dc, GetStockObject(NULL_BRUSH));
  Ellipse(dc, 7, 6, 23, 22);
  MoveToEx(dc, 19, 19, nullptr);
  LineTo(dc, 25, 25);
  SelectObject(dc, mask);
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));  // all opaque
  SelectObject(dc, old);
  ICONINFO info{TRUE, 0, 0, mask, colour};
  HICON icon = CreateIconIndirect(&info);
  DeleteObject(tile);
  DeleteObject(edge);
  DeleteObject(ring);
  DeleteObject(colour);
  DeleteObject(mask);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return icon;
}

frmQuorlin* Self(HWND hwnd) { return reinterpret_cast<frmQuorlin*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA)); }

HWND Child(HWND parent, const char* kind, const char* text, DWORD style, int x, int y, int w, int h, UINT id = 0) {
  HWND child = CreateWindowExA(0, kind, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                               reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
  SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), TRUE);
  return child;
}

}  // namespace

frmQuorlin::frmQuorlin(HINSTANCE instance, WindowHooks hooks) : hooks_(std::move(hooks)), instance_(instance) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  WNDCLASSA window{};
  window.lpfnWndProc = WindowProc;
  window.hInstance = instance;
  window.hIcon = MakeWindowIcon();
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

  // A fixed client area of 537 x 545 with the controls at fixed places, as the form
  // was drawn.
  constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  RECT outer{0, 0, 537, 545};
  AdjustWindowRect(&outer, kStyle, TRUE);
  hwnd_ = CreateWindowExA(0, kClass, kProgramTitle, kStyle, CW_USEDEFAULT, CW_USEDEFAULT, outer.right - outer.left,
                          outer.bottom - outer.top, nullptr, nullptr, instance, nullptr);
  SetWindowLongPtrA(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  Picture1 = Child(hwnd_, kPictureClass, "", 0, 12, 4, 513, 513);
  SetWindowLongPtrA(Picture1, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  Frame1 = Child(hwnd_, "STATIC", "", SS_ETCHEDFRAME, 8, 517, 521, 28);
  lblStatus = Child(Frame1, "STATIC", "Ready to load texture.", SS_LEFT | SS_CENTERIMAGE, 6, 3, 509, 22);
  CreateMenus();
}

frmQuorlin::~frmQuorlin() {
  CloseProgress();
  if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
}

void frmQuorlin::CreateMenus() {
  HMENU bar = CreateMenu();
  HMENU mnufile = CreatePopupMenu();
  AppendMenuA(mnufile, MF_STRING, kOpen, "&Open");
  AppendMenuA(mnufile, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(mnufile, MF_STRING, kExit, "E&xit");
  HMENU mnuedit = CreatePopupMenu();
  AppendMenuA(mnuedit, MF_STRING, kInsert, "&Insert Skin");
  AppendMenuA(mnuedit, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(mnuedit, MF_STRING, kRestore, "&Restore to Original");
  // The ticks are set by the core's skinl_Click through SetSkinItemChecked alone.
  mnuskin = CreatePopupMenu();
  for (int index = kFirstMenuSlot; index <= kLastMenuSlot; ++index) {
    AppendMenuA(mnuskin, MF_STRING, kSkinBase + static_cast<UINT>(index), std::to_string(index).c_str());
  }
  AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(mnufile), "&File");
  AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(mnuedit), "&Edit");
  AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(mnuskin), "&Skin");
  SetMenu(hwnd_, bar);
}

Outcome frmQuorlin::Form_Load() {
  const Outcome outcome = quorlin::Form_Load(state_, *this, hooks_.startup);
  state_.Archives.Close();  // no file stays open while the window waits
  if (outcome == Outcome::EndProgram) {
    exitStatus_ = 1;
    ::ShowWindow(hwnd_, SW_HIDE);  // start-up may have shown the window to re-index
  }
  return outcome;
}

int frmQuorlin::Run() {
  ShowWindow();
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return exitStatus_;
}

// ---- menu handlers ----

void frmQuorlin::mnufileopen_Click() {
  char path[MAX_PATH] = {};
  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = hwnd_;
  dialog.lpstrFilter =
      "All Formats (*.bmp *.tga *.jpg *.png)\0*.bmp;*.tga;*.jpg;*.png\0Windows Bitmap (*.bmp)\0*.bmp\0"
      "Jpeg File (*.jpg)\0*.jpg\0Targa File (*.tga)\0*.tga\0PNG Image (*.png)\0*.png\0";
  dialog.lpstrFile = path;
  dialog.nMaxFile = sizeof path;
  dialog.lpstrTitle = "Open 512x512 Skin";
  dialog.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
  if (GetOpenFileNameA(&dialog)) OpenPictureFile(path);
}

void frmQuorlin::OpenPictureFile(const std::string& nativePath) {
  RunCommand([&] { return OpenPicture(state_, *this, nativePath, DecodePicture); });
}

void frmQuorlin::mnufileexit_Click() { EndProgram(0); }

void frmQuorlin::mnueditInsert_Click() {
  RunCommand([&] { return quorlin::mnueditInsert_Click(state_, *this); });
}

void frmQuorlin::mnueditRestore_Click() {
  RunCommand([&] { return quorlin::mnueditRestore_Click(state_, *this); });
}

void frmQuorlin::skinl_Click(int Index) { quorlin::skinl_Click(state_, *this, static_cast<int16_t>(Index)); }

void frmQuorlin::RunCommand(const std::function<Outcome()>& command) {
  Outcome outcome = Outcome::Done;
  state_.Archives.Close();
  try {
    outcome = command();
  } catch (const QuorlinError& e) {
    SetBusy(false);
    ShowMessage("Error " + std::to_string(e.number()) + "\n" + e.what(), kProgramTitle, MessageIcon::Critical,
                MessageButtons::Ok);
    outcome = Outcome::EndProgram;
  } catch (const std::exception& e) {
    SetBusy(false);
    ShowMessage(std::string("Error\n") + e.what(), kProgramTitle, MessageIcon::Critical, MessageButtons::Ok);
    outcome = Outcome::EndProgram;
  }
  state_.Archives.Close();
  if (outcome == Outcome::EndProgram) EndProgram(1);
}

void frmQuorlin::EndProgram(int status) {
  exitStatus_ = status;
  DestroyWindow(hwnd_);
}

// ---- window procedures ----

LRESULT CALLBACK frmQuorlin::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  frmQuorlin* self = Self(hwnd);
  if (self && hwnd == self->hwnd_) return self->OnMessage(message, wparam, lparam);
  if (self && hwnd == self->progress_ && message == WM_COMMAND && LOWORD(wparam) == kCancel) {
    self->cancelled_ = true;
    return 0;
  }
  if (self && hwnd == self->progress_ && message == WM_CLOSE) {
    self->cancelled_ = true;
    return 0;
  }
  return DefWindowProcA(hwnd, message, wparam, lparam);
}

LRESULT frmQuorlin::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND: {
      const UINT id = LOWORD(wparam);
      if (id == kOpen) mnufileopen_Click();
      if (id == kExit) mnufileexit_Click();
      if (id == kInsert) mnueditInsert_Click();
      if (id == kRestore) mnueditRestore_Click();
      if (id > kSkinBase + kFirstMenuSlot - 1 && id <= kSkinBase + kLastMenuSlot) {
        skinl_Click(static_cast<int>(id - kSkinBase));
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
    case WM_CLOSE:
      EndProgram(0);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(exitStatus_);
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

// ---- Shell ----

void frmQuorlin::SetStatus(const std::string& text, bool repaintNow) {
  SetWindowTextA(lblStatus, text.c_str());
  if (repaintNow) UpdateWindow(lblStatus);
}

MessageAnswer frmQuorlin::ShowMessage(const std::string& text, const std::string& title, MessageIcon icon,
                                      MessageButtons buttons) {
  if (hooks_.answerMessage) return hooks_.answerMessage(text, title, icon, buttons);
  UINT style = buttons == MessageButtons::YesNo ? MB_YESNO : MB_OK;
  if (icon == MessageIcon::Critical) style |= MB_ICONERROR;
  if (icon == MessageIcon::Information) style |= MB_ICONINFORMATION;
  const int answer = MessageBoxA(IsWindowVisible(hwnd_) ? hwnd_ : nullptr, text.c_str(), title.c_str(), style);
  if (buttons == MessageButtons::Ok) return MessageAnswer::Ok;
  return answer == IDYES ? MessageAnswer::Yes : MessageAnswer::No;
}

void frmQuorlin::SetBusy(bool busy) {
  busy_ = busy;
  SetCursor(LoadCursorA(nullptr, busy ? IDC_WAIT : IDC_ARROW));
  if (!busy) CloseProgress();  // a copy that failed half-way leaves no window behind
}

void frmQuorlin::SetTitle(const std::string& title) { SetWindowTextA(hwnd_, title.c_str()); }

void frmQuorlin::ShowWindow() {
  ::ShowWindow(hwnd_, SW_SHOW);
  UpdateWindow(hwnd_);
  if (!shownOnce_) {
    shownOnce_ = true;
    if (hooks_.firstShown) hooks_.firstShown();
  }
}

void frmQuorlin::SetSkinItemChecked(int index, bool checked) {
  CheckMenuItem(mnuskin, kSkinBase + static_cast<UINT>(index), MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
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
    shownInfo_.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    shownInfo_.bmiHeader.biWidth = image->Width;
    shownInfo_.bmiHeader.biHeight = -image->Height;
    shownInfo_.bmiHeader.biPlanes = 1;
    shownInfo_.bmiHeader.biBitCount = 24;
    shownInfo_.bmiHeader.biCompression = BI_RGB;
  }
  InvalidateRect(Picture1, nullptr, TRUE);
  UpdateWindow(Picture1);
}

bool frmQuorlin::CopyProgress(const std::string& what, uint64_t copied, uint64_t total) {
  if (copied == 0 || !progress_) {
    // A new copy. Its window appears only once the copy has lasted half a second;
    // the main window takes no input until it ends.
    CloseProgress();
    cancelled_ = false;
    progressStart_ = std::chrono::steady_clock::now();
    progress_ = CreateWindowExA(WS_EX_DLGMODALFRAME, kProgressClass, kProgramTitle, WS_POPUP | WS_CAPTION, 0, 0, 360,
                                130, hwnd_, nullptr, instance_, nullptr);
    SetWindowLongPtrA(progress_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    Child(progress_, "STATIC", what.c_str(), SS_LEFT, 12, 10, 330, 18);
    progressBar_ = Child(progress_, PROGRESS_CLASSA, "", 0, 12, 34, 330, 18);
    SendMessageA(progressBar_, PBM_SETRANGE32, 0, kProgressSteps);
    Child(progress_, "BUTTON", "Cancel", BS_PUSHBUTTON, 262, 62, 80, 26, kCancel);
    EnableWindow(hwnd_, FALSE);
  }
  if (total > 0) {
    SendMessageA(
        progressBar_, PBM_SETPOS,
        static_cast<WPARAM>(static_cast<long double>(copied) * kProgressSteps / static_cast<long double>(total)), 0);
  }
  if (!IsWindowVisible(progress_) &&
      std::chrono::steady_clock::now() - progressStart_ > std::chrono::milliseconds(500)) {
    RECT r;
    GetWindowRect(hwnd_, &r);
    SetWindowPos(progress_, HWND_TOP, r.left + 90, r.top + 200, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
  }
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  const bool goOn = !cancelled_;
  if (!goOn || copied >= total) CloseProgress();
  return goOn;
}

void frmQuorlin::CloseProgress() {
  if (!progress_) return;
  EnableWindow(hwnd_, TRUE);
  DestroyWindow(progress_);
  progress_ = nullptr;
  progressBar_ = nullptr;
}

}  // namespace quorlin::win
