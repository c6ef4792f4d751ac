// A real X server for tests: Xvfb on a display of its own, with or without a window manager
// (openbox), the X tools run against it (xwininfo, xprop, xdotool, import), and the programs
// under test started in it. Nothing here knows which program is tested: it is given as a
// command line, so the same harness runs the native binary or, say, `wine dwzliste.exe`.
#pragma once

#include <X11/Xlib.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "test_files.h"

using Milliseconds = std::chrono::milliseconds;

// Asks condition every step until it holds or the time is up; returns whether it held. For
// waiting on something the test can observe, never as a guessed sleep.
bool waitUntil(const std::function<bool()>& condition, Milliseconds limit,
               Milliseconds step = Milliseconds(5));

// ---------------------------------------------------------------------------------------------
// Processes

struct ProcessOptions {
  std::filesystem::path directory;  // empty: the test's own
  // Changes to the test's environment: a value sets the variable, nullopt removes it.
  std::map<std::string, std::optional<std::string>> environment;
  std::filesystem::path out, err;    // where stdout and stderr go; empty: /dev/null
  std::vector<int> keepDescriptors;  // descriptors of the test passed on under their numbers
};

// A started process, ended by its PID: SIGTERM, then SIGKILL, when the object goes.
class ChildProcess {
 public:
  ChildProcess(const std::vector<std::string>& argv, const ProcessOptions& options);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }
  // Whether it has not yet ended.
  bool running();
  // Waits for the end: the exit status, 128 + the signal that ended it, or nullopt when it is
  // still running after limit.
  std::optional<int> wait(Milliseconds limit);
  // Ends it (SIGTERM, SIGKILL after a while) and returns as wait does.
  std::optional<int> end();

 private:
  bool reap(int options);

  pid_t pid_ = -1;
  std::optional<int> status_;
};

// Whether some thread of process pid is blocked reading the file at path (a FIFO, say): then it
// has taken everything written there so far.
bool isBlockedReading(pid_t pid, const std::filesystem::path& path);

// ---------------------------------------------------------------------------------------------
// The X server

struct XServerOptions {
  int width = 1920;  // xvfb-run's 1280 x 1024 is narrower than the status window
  int height = 1080;
  int depth = 24;
  bool windowManager = false;  // openbox --sm-disable, with its packaged configuration
};

struct ToolResult {
  int status = -1;  // as ChildProcess::wait
  std::string out, err;
};

// What a screenshot shows: 8-bit RGB, row by row.
struct Screenshot {
  int width = 0, height = 0;
  std::string rgb;
  std::uint32_t pixel(int x, int y) const;  // 0xRRGGBB
};

// A window's client area in root coordinates.
struct WindowGeometry {
  int x = 0, y = 0, width = 0, height = 0;
  bool operator==(const WindowGeometry&) const = default;
};

// Why no X server can be started here (Xvfb missing), or empty when one can.
std::string whyNoXServer();

class XServer {
 public:
  // Starts Xvfb with a white root and a display number it picks itself (-displayfd), and
  // openbox when asked; returns when both are ready for clients.
  explicit XServer(const XServerOptions& options = {});
  ~XServer();  // stop()
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  const std::string& display() const { return display_; }  // ":N"
  const XServerOptions& options() const { return options_; }
  pid_t serverPid() const;
  // Ends the window manager and the server, by PID; the test's connection is closed first.
  void stop();

  // Starts a program against this display (DISPLAY set unless options say otherwise).
  std::unique_ptr<ChildProcess> start(const std::vector<std::string>& argv,
                                      ProcessOptions options = {}) const;
  // Runs an X tool against this display to its end (at most 30 s) and captures its output.
  ToolResult run(const std::vector<std::string>& argv) const;

  // The test's own connection to the server, for what no tool tells.
  Display* connection() const { return connection_; }
  Atom atom(const char* name) const;

  // Windows: found by title (_NET_WM_NAME, else WM_NAME), the one the program made, not a frame.
  std::optional<Window> findWindow(std::string_view title) const;
  std::optional<Window> waitForWindow(std::string_view title, Milliseconds limit) const;
  bool isViewable(Window window) const;
  Window focusedWindow() const;
  bool waitForFocus(Window window, Milliseconds limit) const;
  WindowGeometry geometry(Window window) const;
  // The raw bytes of a property of 8-bit items, and its type; nullopt when there is none.
  std::optional<std::string> byteProperty(Window window, const char* name,
                                          std::string* type = nullptr) const;
  // A property of 32-bit items, e.g. of atoms.
  std::vector<unsigned long> longProperty(Window window, const char* name) const;
  // WM_NAME decoded to UTF-8, whatever encoding it is stored in.
  std::string windowName(Window window) const;
  std::vector<std::string> atomNames(const std::vector<unsigned long>& atoms) const;

  // A plain window of the test's own, titled, mapped, and shown once this returns: one that
  // takes the focus and ignores every key (unlike, say, xlogo, which ends on Escape).
  Window createWindow(const WindowGeometry& geometry, const std::string& title) const;

  // Client messages: to the window (e.g. WM_PROTOCOLS / WM_DELETE_WINDOW), or to the root for
  // the window manager (e.g. _NET_WM_STATE).
  void sendToWindow(Window window, const char* type, std::vector<long> data) const;
  void sendToRoot(Window window, const char* type, std::vector<long> data) const;
  void sendDeleteRequest(Window window) const;

  // Keys by xdotool (XTEST), as if typed: down until up, or a tap like "alt+F4".
  void keyDown(const std::string& key) const;
  void keyUp(const std::string& key) const;
  void key(const std::string& keys) const;

  // The whole screen, as `import -window root` takes it.
  Screenshot screenshot() const;

 private:
  void startServer();
  void startWindowManager();
  void connect();

  XServerOptions options_;
  ScratchDirectory scratch_;  // logs and captured output
  std::string display_;
  std::unique_ptr<ChildProcess> server_;
  std::unique_ptr<ChildProcess> windowManager_;
  Display* connection_ = nullptr;
  mutable int runs_ = 0;
};
