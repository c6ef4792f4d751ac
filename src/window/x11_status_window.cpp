// The status window on X11: Xlib for the window and the keyboard, the XScreenSaver extension to
// keep the screen saver off. One service thread makes every Xlib call, from opening the display
// to closing it, so Xlib needs no locking of its own and no X error reaches the conversion.
#include <X11/X.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/extensions/scrnsaver.h>
#include <X11/keysym.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "window/program_path.h"
#include "window/status_window.h"
#include "window/window_title.h"

namespace {

constexpr int kWidth = 1700;
constexpr int kHeight = 320;
// The full-screen sizes are 1700 wide with one of these heights.
constexpr int kFullScreenHeights[] = {320, 480, 600, 768, 1024};
constexpr std::size_t kKeyCount = 128;      // one entry per PC scancode
constexpr std::size_t kAbortKey = 1;        // the scancode of Escape
constexpr unsigned kKeycodeOfScancode = 8;  // on evdev servers, X keycode = scancode + 8
constexpr auto kServicePeriod = std::chrono::milliseconds(10);
// A window manager that is itself still starting may hold a new window back until it is asked
// to activate it: the wait for the map is bounded, and the focus request follows anyway.
constexpr auto kMapWait = std::chrono::seconds(2);
constexpr int kPollSlice = 10;  // ms, while waiting for the window to be mapped

// The _NET_WM_STATE actions and the source of a _NET_ACTIVE_WINDOW request (EWMH).
constexpr long kStateRemove = 0;
constexpr long kStateAdd = 1;
constexpr long kSourceApplication = 1;

// What the conversion thread and the service thread share.
struct Facility {
  std::mutex lock;                     // held by the service thread for each whole pass
  std::array<bool, kKeyCount> keys{};  // guarded by lock: true while the key is down
  std::mutex wakeLock;
  std::condition_variable wake;
  bool stopping = false;  // guarded by wakeLock
  std::thread service;
};

Facility* facility = nullptr;  // the open window's; touched by the conversion thread only

// Set by the IO error handler when the connection to the server is gone; from then on no Xlib
// call is made but the one that frees the display.
std::atomic<bool> connectionLost{false};

// Xlib's default handlers end the process; these let the run go on.
int ignoreError(Display*, XErrorEvent*) { return 0; }
int noteLostConnection(Display*) {
  connectionLost = true;
  return 0;
}
void stayAlive(Display*, void*) {}

// The service thread takes none of the process's signals. A write to a server that went away
// then fails with EPIPE instead of raising SIGPIPE, which would end the process.
void blockSignals() {
  sigset_t signals;
  sigfillset(&signals);
  for (const int fault : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGABRT}) {
    sigdelset(&signals, fault);
  }
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

enum AtomName {
  kWmProtocols,
  kWmDeleteWindow,
  kUtf8String,
  kNetWmName,
  kNetWmIconName,
  kNetWmPid,
  kNetWmWindowType,
  kNetWmWindowTypeNormal,
  kNetWmState,
  kNetWmStateFullscreen,
  kNetWmStateMaximizedVert,
  kNetWmStateMaximizedHorz,
  kNetActiveWindow,
  kNetSupported,
  kNetSupportingWmCheck,
  kAtomCount
};

const char* const kAtomNames[kAtomCount] = {
    "WM_PROTOCOLS",
    "WM_DELETE_WINDOW",
    "UTF8_STRING",
    "_NET_WM_NAME",
    "_NET_WM_ICON_NAME",
    "_NET_WM_PID",
    "_NET_WM_WINDOW_TYPE",
    "_NET_WM_WINDOW_TYPE_NORMAL",
    "_NET_WM_STATE",
    "_NET_WM_STATE_FULLSCREEN",
    "_NET_WM_STATE_MAXIMIZED_VERT",
    "_NET_WM_STATE_MAXIMIZED_HORZ",
    "_NET_ACTIVE_WINDOW",
    "_NET_SUPPORTED",
    "_NET_SUPPORTING_WM_CHECK",
};

// The window and everything Xlib needs for it; used by the service thread alone.
class StatusWindow {
 public:
  explicit StatusWindow(Facility& shared) : shared_(shared) {}
  StatusWindow(const StatusWindow&) = delete;
  StatusWindow& operator=(const StatusWindow&) = delete;
  ~StatusWindow() { close(); }

  // Opens the display and the window, waits until it is mapped and asks for the focus.
  bool open();
  // Services the window about every 10 ms until closeStatusWindow asks to stop.
  void serve();

 private:
  void close();
  void createWindow(const std::string& title);
  void setTitle(const std::string& title);
  void setSizeHints(int x, int y, int height);
  void waitUntilMapped();
  void askForFocus();
  void servicePass();
  void refreshKeys();
  void handlePendingEvents();
  void handle(const XEvent& event);
  void onFocusChange(const XFocusChangeEvent& event);
  void onStateChange();
  void toggleFullScreen();
  bool enterFullScreen();
  void leaveFullScreen();
  void restoreWindowed();
  void changeState(long action, Atom first, Atom second = None);
  void sendToRoot(Atom type, long a, long b, long c, long d);
  bool windowManagerSupports(Atom feature);
  std::vector<unsigned long> property(Window window, Atom name, Atom type);
  int centredX() const { return (DisplayWidth(display_, screen_) - kWidth) / 2; }
  int centredY() const { return (DisplayHeight(display_, screen_) - kHeight) / 2; }
  void clearKeys() { shared_.keys.fill(false); }

  Facility& shared_;
  Display* display_ = nullptr;
  int screen_ = 0;
  Window root_ = None;
  Window window_ = None;
  GC gc_ = nullptr;
  Cursor cursor_ = None;
  Atom atoms_[kAtomCount] = {};
  bool screenSaverSuspended_ = false;
  bool mapped_ = false;
  bool active_ = false;      // the window has the keyboard focus
  bool fullScreen_ = false;  // the window covers a screen of a full-screen size
  int width_ = kWidth;
  int height_ = kHeight;
};

bool StatusWindow::open() {
  connectionLost = false;
  XSetErrorHandler(ignoreError);
  XSetIOErrorHandler(noteLostConnection);
  display_ = XOpenDisplay(nullptr);  // the one DISPLAY names
  if (display_ == nullptr) return false;
  XSetIOErrorExitHandler(display_, stayAlive, nullptr);
  screen_ = DefaultScreen(display_);
  root_ = RootWindow(display_, screen_);
  XInternAtoms(display_, const_cast<char**>(kAtomNames), kAtomCount, False, atoms_);

  createWindow(std::string(windowTitle(programPath(), "/")));
  if (connectionLost) return false;

  int eventBase, errorBase;
  if (XScreenSaverQueryExtension(display_, &eventBase, &errorBase)) {
    XScreenSaverSuspend(display_, True);
    screenSaverSuspended_ = true;
  }
  XMapRaised(display_, window_);
  waitUntilMapped();
  askForFocus();
  XFlush(display_);
  return !connectionLost;
}

void StatusWindow::createWindow(const std::string& title) {
  const unsigned long black = BlackPixel(display_, screen_);
  cursor_ = XCreateFontCursor(display_, XC_left_ptr);
  XSetWindowAttributes attributes{};
  attributes.background_pixel = black;
  attributes.border_pixel = black;
  attributes.cursor = cursor_;
  attributes.event_mask =
      ExposureMask | FocusChangeMask | KeyPressMask | StructureNotifyMask | PropertyChangeMask;
  window_ = XCreateWindow(display_, root_, centredX(), centredY(), kWidth, kHeight, 0,
                          CopyFromParent, InputOutput, CopyFromParent,
                          CWBackPixel | CWBorderPixel | CWCursor | CWEventMask, &attributes);
  XGCValues values{};
  values.foreground = black;
  gc_ = XCreateGC(display_, window_, GCForeground, &values);

  XWMHints wmHints{};
  wmHints.flags = InputHint | StateHint;
  wmHints.input = True;
  wmHints.initial_state = NormalState;
  std::string className = "dwzliste";
  XClassHint classHint{const_cast<char*>(title.c_str()), className.data()};
  // sets WM_CLIENT_MACHINE and WM_LOCALE_NAME too
  XSetWMProperties(display_, window_, nullptr, nullptr, nullptr, 0, nullptr, &wmHints, &classHint);
  setSizeHints(centredX(), centredY(), kHeight);
  setTitle(title);

  Atom protocols[] = {atoms_[kWmDeleteWindow]};
  XSetWMProtocols(display_, window_, protocols, 1);
  const long pid = getpid();
  XChangeProperty(display_, window_, atoms_[kNetWmPid], XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&pid), 1);
  const Atom type = atoms_[kNetWmWindowTypeNormal];
  XChangeProperty(display_, window_, atoms_[kNetWmWindowType], XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&type), 1);
}

// WM_NAME in the form the ICCCM asks for (STRING where Latin-1 will do), _NET_WM_NAME in UTF-8.
void StatusWindow::setTitle(const std::string& title) {
  char* list[] = {const_cast<char*>(title.c_str())};
  XTextProperty text{};
  if (Xutf8TextListToTextProperty(display_, list, 1, XStdICCTextStyle, &text) >= Success) {
    XSetWMName(display_, window_, &text);
    XSetWMIconName(display_, window_, &text);
    XFree(text.value);
  } else {
    XStoreName(display_, window_, title.c_str());
  }
  const auto* bytes = reinterpret_cast<const unsigned char*>(title.data());
  const int size = static_cast<int>(title.size());
  for (const AtomName name : {kNetWmName, kNetWmIconName}) {
    XChangeProperty(display_, window_, atoms_[name], atoms_[kUtf8String], 8, PropModeReplace, bytes,
                    size);
  }
}

// The size cannot change (minimum = maximum), and StaticGravity makes a window manager put the
// client area, not its frame, at the position asked for.
void StatusWindow::setSizeHints(int x, int y, int height) {
  XSizeHints hints{};
  hints.flags = USPosition | PPosition | PSize | PMinSize | PMaxSize | PWinGravity;
  hints.x = x;
  hints.y = y;
  hints.width = hints.min_width = hints.max_width = kWidth;
  hints.height = hints.min_height = hints.max_height = height;
  hints.win_gravity = StaticGravity;
  XSetWMNormalHints(display_, window_, &hints);
}

void StatusWindow::waitUntilMapped() {
  const auto deadline = std::chrono::steady_clock::now() + kMapWait;
  std::lock_guard<std::mutex> guard(shared_.lock);
  while (!mapped_ && !connectionLost && std::chrono::steady_clock::now() < deadline) {
    handlePendingEvents();
    if (mapped_ || connectionLost) break;
    pollfd connection{ConnectionNumber(display_), POLLIN, 0};
    poll(&connection, 1, kPollSlice);
  }
}

// A window manager hands the focus on request; without one the window takes it.
void StatusWindow::askForFocus() {
  if (connectionLost) return;
  if (windowManagerSupports(atoms_[kNetActiveWindow])) {
    sendToRoot(atoms_[kNetActiveWindow], kSourceApplication, CurrentTime, None, 0);
  } else if (mapped_) {
    XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
  }
}

void StatusWindow::serve() {
  for (;;) {
    {
      std::unique_lock<std::mutex> wait(shared_.wakeLock);
      if (shared_.wake.wait_for(wait, kServicePeriod, [this] { return shared_.stopping; })) return;
    }
    servicePass();
  }
}

void StatusWindow::servicePass() {
  std::lock_guard<std::mutex> guard(shared_.lock);
  if (connectionLost) {
    active_ = false;
    clearKeys();
    return;
  }
  XFillRectangle(display_, window_, gc_, 0, 0, static_cast<unsigned>(width_),
                 static_cast<unsigned>(height_));
  if (active_) refreshKeys();
  handlePendingEvents();
  XFlush(display_);
  if (connectionLost) clearKeys();
}

void StatusWindow::refreshKeys() {
  char keymap[32] = {};  // one bit per X keycode
  XQueryKeymap(display_, keymap);
  for (std::size_t scancode = 0; scancode < kKeyCount; ++scancode) {
    const std::size_t keycode = scancode + kKeycodeOfScancode;
    shared_.keys[scancode] =
        ((static_cast<unsigned char>(keymap[keycode / 8]) >> (keycode % 8)) & 1) != 0;
  }
}

void StatusWindow::handlePendingEvents() {
  while (!connectionLost && XPending(display_) > 0) {
    XEvent event;
    XNextEvent(display_, &event);
    handle(event);
  }
}

void StatusWindow::handle(const XEvent& event) {
  switch (event.type) {
    case MapNotify:
      mapped_ = true;
      break;
    case UnmapNotify:
      mapped_ = false;
      break;
    case ConfigureNotify:
      width_ = event.xconfigure.width;
      height_ = event.xconfigure.height;
      break;
    case FocusIn:
    case FocusOut:
      onFocusChange(event.xfocus);
      break;
    case KeyPress: {
      XKeyEvent key = event.xkey;
      const KeySym symbol = XLookupKeysym(&key, 0);
      if ((symbol == XK_Return || symbol == XK_KP_Enter) && (key.state & Mod1Mask) != 0) {
        toggleFullScreen();
      }
      break;
    }
    case PropertyNotify:
      if (event.xproperty.atom == atoms_[kNetWmState]) onStateChange();
      break;
    case MappingNotify: {
      XMappingEvent mapping = event.xmapping;
      XRefreshKeyboardMapping(&mapping);
      break;
    }
    case ClientMessage:  // WM_DELETE_WINDOW among them: the close request is never acted on
    default:
      break;
  }
}

// Activation and deactivation clear the key table; a grab or the pointer moving about is neither.
void StatusWindow::onFocusChange(const XFocusChangeEvent& event) {
  if (event.mode == NotifyGrab || event.mode == NotifyUngrab) return;
  if (event.detail == NotifyInferior || event.detail == NotifyPointer) return;
  active_ = event.type == FocusIn;
  clearKeys();
}

// A window manager tells of a maximise or full-screen request by the window's state.
void StatusWindow::onStateChange() {
  if (fullScreen_) return;
  const std::vector<unsigned long> states = property(window_, atoms_[kNetWmState], XA_ATOM);
  const auto has = [&states](Atom state) {
    return std::find(states.begin(), states.end(), state) != states.end();
  };
  if (!has(atoms_[kNetWmStateFullscreen]) && !has(atoms_[kNetWmStateMaximizedVert]) &&
      !has(atoms_[kNetWmStateMaximizedHorz])) {
    return;
  }
  if (enterFullScreen()) return;
  changeState(kStateRemove, atoms_[kNetWmStateMaximizedVert], atoms_[kNetWmStateMaximizedHorz]);
  changeState(kStateRemove, atoms_[kNetWmStateFullscreen]);
  restoreWindowed();
}

void StatusWindow::toggleFullScreen() {
  if (fullScreen_) {
    leaveFullScreen();
  } else {
    enterFullScreen();
  }
}

// Full screen needs a screen of a full-screen size: 1700 wide, one of the heights, 24 or 32 bits
// deep. Another size would need the display mode switched, which this facility does not do;
// the window then stays as it was.
bool StatusWindow::enterFullScreen() {
  const int width = DisplayWidth(display_, screen_);
  const int height = DisplayHeight(display_, screen_);
  const int depth = DefaultDepth(display_, screen_);
  const bool sizeOffered = std::find(std::begin(kFullScreenHeights), std::end(kFullScreenHeights),
                                     height) != std::end(kFullScreenHeights);
  if (width != kWidth || !sizeOffered || (depth != 24 && depth != 32)) return false;
  fullScreen_ = true;
  setSizeHints(0, 0, height);
  changeState(kStateAdd, atoms_[kNetWmStateFullscreen]);
  XMoveResizeWindow(display_, window_, 0, 0, kWidth, static_cast<unsigned>(height));
  XRaiseWindow(display_, window_);
  return true;
}

void StatusWindow::leaveFullScreen() {
  fullScreen_ = false;
  changeState(kStateRemove, atoms_[kNetWmStateFullscreen]);
  changeState(kStateRemove, atoms_[kNetWmStateMaximizedVert], atoms_[kNetWmStateMaximizedHorz]);
  restoreWindowed();
}

void StatusWindow::restoreWindowed() {
  setSizeHints(centredX(), centredY(), kHeight);
  XMoveResizeWindow(display_, window_, centredX(), centredY(), kWidth, kHeight);
}

// Asks the window manager, if there is one, to add or remove up to two states of the window.
void StatusWindow::changeState(long action, Atom first, Atom second) {
  if (!windowManagerSupports(atoms_[kNetWmState])) return;
  sendToRoot(atoms_[kNetWmState], action, static_cast<long>(first), static_cast<long>(second),
             kSourceApplication);
}

void StatusWindow::sendToRoot(Atom type, long a, long b, long c, long d) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window_;
  event.xclient.message_type = type;
  event.xclient.format = 32;
  event.xclient.data.l[0] = a;
  event.xclient.data.l[1] = b;
  event.xclient.data.l[2] = c;
  event.xclient.data.l[3] = d;
  XSendEvent(display_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
}

// Whether an EWMH window manager runs (its check window names itself) and supports a feature.
bool StatusWindow::windowManagerSupports(Atom feature) {
  const Atom check = atoms_[kNetSupportingWmCheck];
  const std::vector<unsigned long> manager = property(root_, check, XA_WINDOW);
  if (manager.size() != 1) return false;
  const std::vector<unsigned long> itself = property(manager.front(), check, XA_WINDOW);
  if (itself.size() != 1 || itself.front() != manager.front()) return false;
  const std::vector<unsigned long> supported = property(root_, atoms_[kNetSupported], XA_ATOM);
  return std::find(supported.begin(), supported.end(), feature) != supported.end();
}

// A property of 32-bit items (as Xlib hands them: one long each); empty when there is none.
std::vector<unsigned long> StatusWindow::property(Window window, Atom name, Atom type) {
  std::vector<unsigned long> items;
  if (connectionLost) return items;
  Atom actualType = None;
  int format = 0;
  unsigned long count = 0, remaining = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display_, window, name, 0, 1024, False, type, &actualType, &format, &count,
                         &remaining, &data) == Success &&
      data != nullptr) {
    if (actualType == type && format == 32) {
      const auto* values = reinterpret_cast<const unsigned long*>(data);
      items.assign(values, values + count);
    }
    XFree(data);
  }
  return items;
}

// Resumes the screen saver and closes the window; after a lost connection only frees memory.
void StatusWindow::close() {
  if (display_ == nullptr) return;
  if (!connectionLost) {
    if (screenSaverSuspended_) XScreenSaverSuspend(display_, False);
    if (window_ != None) XDestroyWindow(display_, window_);
    if (cursor_ != None) XFreeCursor(display_, cursor_);
  }
  // a GC is memory of Xlib's too; XCloseDisplay frees its own GCs the same way after a loss
  if (gc_ != nullptr) XFreeGC(display_, gc_);
  XCloseDisplay(display_);
  display_ = nullptr;
}

void serviceThread(Facility& shared, std::promise<bool>& opened) {
  blockSignals();
  bool told = false;
  try {
    StatusWindow window(shared);
    const bool open = window.open();
    opened.set_value(open);
    told = true;
    if (open) window.serve();
  } catch (...) {
    // out of memory: the run goes on without a window
    if (!told) opened.set_value(false);
  }
}

}  // namespace

bool openStatusWindow() {
  if (facility != nullptr) return true;
  try {
    auto opening = std::make_unique<Facility>();
    std::promise<bool> opened;
    std::future<bool> result = opened.get_future();
    Facility& shared = *opening;
    // the thread owns the promise: it may still be inside set_value when result.get() returns
    opening->service = std::thread(
        [&shared, opened = std::move(opened)]() mutable { serviceThread(shared, opened); });
    if (!result.get()) {
      opening->service.join();
      return false;
    }
    facility = opening.release();
    return true;
  } catch (...) {
    return false;  // no thread could be started
  }
}

bool isAbortKeyDown() {
  if (facility == nullptr) return false;
  std::lock_guard<std::mutex> guard(facility->lock);
  return facility->keys[kAbortKey];
}

void closeStatusWindow() {
  if (facility == nullptr) return;
  {
    std::lock_guard<std::mutex> guard(facility->wakeLock);
    facility->stopping = true;
  }
  facility->wake.notify_one();
  facility->service.join();
  delete facility;
  facility = nullptr;
}
