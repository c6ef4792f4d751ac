// The status window on Windows: a black window serviced by a thread of its own, which keeps
// the key table that isAbortKeyDown reads.
#include <windows.h>

#include <array>
#include <future>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "text/win32_utf16.h"
#include "window/program_path.h"
#include "window/status_window.h"
#include "window/window_title.h"

namespace {

constexpr int kClientWidth = 1700;
constexpr int kClientHeight = 320;
// Title bar with close, minimise and maximise boxes; no sizing border.
constexpr DWORD kWindowedStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr DWORD kFullScreenStyle = WS_POPUP;
constexpr int kFullScreenHeights[] = {320, 480, 600, 768, 1024};
constexpr int kFullScreenDepths[] = {32, 24};
constexpr UINT kKeyCount = 128;         // one entry per scancode
constexpr UINT kAbortScancode = 1;      // Escape
constexpr DWORD kServiceInterval = 10;  // milliseconds
constexpr wchar_t kClassName[] = L"dwzliste status window";

// Everything the window's thread and isAbortKeyDown share. The lock is held by the window's
// thread for each whole pass of its service loop, so the window procedure runs under it too.
struct StatusWindow {
  std::mutex lock;
  std::array<bool, kKeyCount> keys{};
  HWND handle = nullptr;
  bool active = false;
  bool fullScreen = false;
  int fullScreenHeight = 0;
  bool switchAsked = false;  // the maximise box or Alt+Enter
  bool closeAsked = false;   // by closeStatusWindow
  std::thread thread;
};

StatusWindow window;

void clearKeys() { window.keys.fill(false); }

// Sets every entry of the key table from whether the key of its scancode is down.
void refreshKeys() {
  BYTE state[256];
  if (!GetKeyboardState(state)) return;
  for (UINT scancode = 0; scancode < kKeyCount; ++scancode) {
    const UINT key = MapVirtualKeyW(scancode, MAPVK_VSC_TO_VK);
    window.keys[scancode] = key != 0 && (state[key] & 0x80) != 0;
  }
}

void paintBlack(HDC context, const RECT& area) {
  FillRect(context, &area, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
}

void repaint() {
  if (window.handle == nullptr) return;
  RECT client;
  GetClientRect(window.handle, &client);
  const HDC context = GetDC(window.handle);
  paintBlack(context, client);
  ReleaseDC(window.handle, context);
}

LRESULT CALLBACK handleMessage(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ACTIVATE:
      // a minimised window is not active, however it was activated
      window.active = LOWORD(wParam) != WA_INACTIVE && HIWORD(wParam) == 0;
      clearKeys();
      break;
    case WM_CLOSE:
      // the close box and Alt+F4 only ask; the run goes on and the window stays
      return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_MAXIMIZE) {
        window.switchAsked = true;
        return 0;
      }
      break;
    case WM_SYSKEYDOWN:
      if (wParam == VK_RETURN && (HIWORD(lParam) & KF_ALTDOWN) != 0) {
        window.switchAsked = true;
        return 0;
      }
      break;
    case WM_SYSCHAR:
      if (wParam == VK_RETURN) return 0;  // no beep for Alt+Enter
      break;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      const HDC context = BeginPaint(handle, &paint);
      paintBlack(context, paint.rcPaint);
      EndPaint(handle, &paint);
      return 0;
    }
    default:
      break;
  }
  return DefWindowProcW(handle, message, wParam, lParam);
}

bool registerWindowClass() {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = handleMessage;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  windowClass.lpszClassName = kClassName;
  return RegisterClassExW(&windowClass) != 0;
}

std::wstring title() { return utf16FromUtf8(std::string(windowTitle(programPath(), "\\/"))); }

// The window at its place on the screen and made the foreground window, so that it has the
// keyboard from the start; nullptr when the system gives none (Wine without a display).
HWND createWindow() {
  DWORD style = kWindowedStyle;
  RECT frame{0, 0, kClientWidth, kClientHeight};
  int left = (GetSystemMetrics(SM_CXSCREEN) - kClientWidth) / 2;
  int top = (GetSystemMetrics(SM_CYSCREEN) - kClientHeight) / 2;
  if (window.fullScreen) {
    style = kFullScreenStyle;
    frame.bottom = window.fullScreenHeight;
    left = top = 0;
  } else {
    AdjustWindowRect(&frame, style, FALSE);
  }
  const HWND handle = CreateWindowExW(0, kClassName, title().c_str(), style | WS_VISIBLE, left, top,
                                      frame.right - frame.left, frame.bottom - frame.top, nullptr,
                                      nullptr, GetModuleHandleW(nullptr), nullptr);
  if (handle == nullptr) return nullptr;
  SetForegroundWindow(handle);
  UpdateWindow(handle);
  return handle;
}

// A display mode 1700 pixels wide, the first the display offers of the heights and depths in
// their order; false when it offers none.
bool enterFullScreen() {
  for (const int height : kFullScreenHeights) {
    for (const int depth : kFullScreenDepths) {
      DEVMODEW mode{};
      mode.dmSize = sizeof mode;
      mode.dmPelsWidth = kClientWidth;
      mode.dmPelsHeight = static_cast<DWORD>(height);
      mode.dmBitsPerPel = static_cast<DWORD>(depth);
      mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL;
      if (ChangeDisplaySettingsW(&mode, CDS_FULLSCREEN) == DISP_CHANGE_SUCCESSFUL) {
        window.fullScreenHeight = height;
        return true;
      }
    }
  }
  return false;
}

void leaveFullScreen() {
  if (!window.fullScreen) return;
  ChangeDisplaySettingsW(nullptr, 0);
  window.fullScreen = false;
}

// Between windowed and full screen; a display without a fitting mode gets the window again as
// it was.
void switchDisplay() {
  window.switchAsked = false;
  if (window.fullScreen) {
    leaveFullScreen();
  } else {
    window.fullScreen = enterFullScreen();
  }
  DestroyWindow(window.handle);
  window.handle = createWindow();
}

void handlePendingMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

// One pass of the service loop; false once the window is to close.
bool servicePass() {
  std::lock_guard guard(window.lock);
  if (window.closeAsked) return false;
  repaint();
  if (window.active) refreshKeys();
  handlePendingMessages();
  if (window.switchAsked) switchDisplay();
  return true;
}

void closeWindow() {
  std::lock_guard guard(window.lock);
  if (window.handle != nullptr) DestroyWindow(window.handle);
  window.handle = nullptr;
  leaveFullScreen();
  window.active = false;
  clearKeys();
  UnregisterClassW(kClassName, GetModuleHandleW(nullptr));
}

// The window's thread: creates the window, tells whether it could, then services it until
// closeStatusWindow asks it to close. The screen saver stays off meanwhile.
void runWindow(std::promise<bool> opened) {
  bool created;
  {
    std::lock_guard guard(window.lock);
    window.handle = registerWindowClass() ? createWindow() : nullptr;
    created = window.handle != nullptr;
  }
  opened.set_value(created);
  if (!created) return;

  BOOL screenSaverWasActive = FALSE;
  SystemParametersInfoW(SPI_GETSCREENSAVEACTIVE, 0, &screenSaverWasActive, 0);
  SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, 0);
  do {
    Sleep(kServiceInterval);
  } while (servicePass());
  closeWindow();
  SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, static_cast<UINT>(screenSaverWasActive), nullptr,
                        0);
}

}  // namespace

bool openStatusWindow() {
  std::promise<bool> opened;
  std::future<bool> result = opened.get_future();
  try {
    window.thread = std::thread(runWindow, std::move(opened));
  } catch (const std::system_error&) {
    return false;  // no thread to run a window on
  }
  if (result.get()) return true;
  window.thread.join();
  return false;
}

bool isAbortKeyDown() {
  std::lock_guard guard(window.lock);
  return window.keys[kAbortScancode];
}

void closeStatusWindow() {
  if (!window.thread.joinable()) return;
  {
    std::lock_guard guard(window.lock);
    window.closeAsked = true;
  }
  window.thread.join();
}
