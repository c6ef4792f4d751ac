// The status window of the built program in a real X server (Xvfb), with and without a window
// manager: how it looks, what it tells the window manager, the abort key, the close request,
// full screen, the screen saver, and runs without a usable display.

// gtest first: Xlib's macros (None, Bool, Status) would break its headers
// clang-format off
#include <gtest/gtest.h>
// clang-format on

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/scrnsaver.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "reference_conversion.h"
#include "test_files.h"
#include "x_server.h"

namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 1700;
constexpr int kHeight = 320;
constexpr const char* kTitle = "dwzliste";  // the built program's file name
constexpr Milliseconds kLimit(20000);       // for anything the test waits for
constexpr Milliseconds kKeyTicks(100);      // ten refreshes of the key table
constexpr std::uint32_t kBlack = 0x000000;
constexpr std::uint32_t kWhite = 0xFFFFFF;
// The player lines before Escape goes down; the one after them is where the reading stops.
constexpr std::size_t kLinesBeforeEscape = 3;

enum class Manager { kNone, kOpenbox };

void PrintTo(Manager manager, std::ostream* os) {
  *os << (manager == Manager::kOpenbox ? "openbox" : "no window manager");
}

std::string managerName(const testing::TestParamInfo<Manager>& info) {
  return info.param == Manager::kOpenbox ? "Openbox" : "NoWindowManager";
}

// The lines of a file as framed by LF, each with its LF.
std::vector<std::string> linesOf(const std::string& bytes) {
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t end = std::min(bytes.find('\n', at), bytes.size() - 1);
    lines.push_back(bytes.substr(at, end + 1 - at));
    at = end + 1;
  }
  return lines;
}

// Compares two lists line by line (CR LF framed), so that a failure names the line.
void expectSameListLines(const std::string& actual, const std::string& expected) {
  const std::vector<std::string> a = listLines(actual), e = listLines(expected);
  EXPECT_EQ(a.size(), e.size()) << "lines in DWZ.liste";
  for (std::size_t i = 0; i < std::min(a.size(), e.size()); ++i) {
    EXPECT_EQ(a[i], e[i]) << "line " << i + 1 << " of DWZ.liste";
  }
  EXPECT_EQ(actual, expected) << "DWZ.liste as a whole";
}

// The value after "label" in the output of xwininfo, e.g. "Width:".
int xwininfoValue(const std::string& output, const std::string& label) {
  const std::size_t at = output.find(label);
  if (at == std::string::npos) return -1;
  return std::stoi(output.substr(at + label.size()));
}

// Spieler.sql as a FIFO that the test writes line by line: the program takes each line as its
// LF arrives, and the test can see when it has taken all and waits for more.
class PlayerFifo {
 public:
  explicit PlayerFifo(fs::path path) : path_(std::move(path)) {
    if (mkfifo(path_.c_str(), 0600) != 0) throw std::runtime_error("mkfifo failed");
  }
  ~PlayerFifo() { close(); }

  // Waits until the program opens the FIFO for reading.
  bool open(ChildProcess& program) {
    waitUntil(
        [&] {
          fd_ = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
          return fd_ >= 0 || !program.running();
        },
        kLimit);
    if (fd_ < 0) return false;
    fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    return true;
  }
  void write(const std::string& bytes) {
    for (std::size_t at = 0; at < bytes.size();) {
      const ssize_t n = ::write(fd_, bytes.data() + at, bytes.size() - at);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) throw std::runtime_error(std::string("write to FIFO: ") + std::strerror(errno));
      at += static_cast<std::size_t>(n);
    }
  }
  // Waits until the program has read all that was written and waits in read for more.
  bool waitUntilTaken(pid_t pid) {
    return waitUntil(
        [&] {
          int unread = -1;
          return ioctl(fd_, FIONREAD, &unread) == 0 && unread == 0 && isBlockedReading(pid, path_);
        },
        kLimit);
  }
  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  fs::path path_;
  int fd_ = -1;
};

// A key held down (XTEST) for as long as the object lives.
class HeldKey {
 public:
  HeldKey(const XServer& server, std::string key) : server_(server), key_(std::move(key)) {
    server_.keyDown(key_);
  }
  ~HeldKey() { release(); }
  void release() {
    if (released_) return;
    released_ = true;
    try {
      server_.keyUp(key_);
    } catch (const std::exception&) {
      // the server is gone, and the key with it
    }
  }

 private:
  const XServer& server_;
  std::string key_;
  bool released_ = false;
};

class StatusWindowTest : public testing::Test {
 protected:
  void SetUp() override { std::signal(SIGPIPE, SIG_IGN); }

  void startServer(Manager manager, int width = 1920, int height = 1080) {
    server_ = std::make_unique<XServer>(XServerOptions{
        .width = width, .height = height, .windowManager = manager == Manager::kOpenbox});
  }
  XServer& server() { return *server_; }

  fs::path work() const { return scratch_.path(); }
  fs::path playerFile() const { return scratch_ / "Spieler.sql"; }
  fs::path clubFile() const { return scratch_ / "Vereine.sql"; }
  fs::path listFile() const { return scratch_ / "DWZ.liste"; }

  static std::string examplePlayers() {
    return readFile(fs::path(DWZLISTE_EXAMPLES) / "Spieler.sql");
  }
  static std::string exampleClubs() {
    return readFile(fs::path(DWZLISTE_EXAMPLES) / "Vereine.sql");
  }
  static std::string expectedList() {
    return readFile(fs::path(DWZLISTE_EXAMPLES) / "expected-DWZ.liste");
  }

  // Starts the program in the work directory, by default the built one under its own name.
  std::unique_ptr<ChildProcess> startProgram(std::vector<std::string> argv = {DWZLISTE_BINARY},
                                             ProcessOptions options = {}) {
    options.directory = work();
    options.out = scratch_ / "stdout";
    options.err = scratch_ / "stderr";
    return server().start(argv, options);
  }
  std::string programErrors() const { return readFile(scratch_ / "stderr"); }

  // With Spieler.sql a FIFO: starts the program, waits until its window is shown and has the
  // focus and the program waits for the first player line.
  void startWithFifo(std::vector<std::string> argv = {DWZLISTE_BINARY},
                     const std::string& title = kTitle) {
    writeFile(clubFile(), exampleClubs());
    fifo_ = std::make_unique<PlayerFifo>(playerFile());
    program_ = startProgram(argv);
    ASSERT_TRUE(fifo_->open(*program_))
        << "the program did not open Spieler.sql; stderr: " << programErrors();
    const std::optional<Window> window = server().waitForWindow(title, kLimit);
    ASSERT_TRUE(window) << "no window titled " << title;
    window_ = *window;
    ASSERT_TRUE(server().waitForFocus(window_, kLimit)) << "the window did not get the focus";
  }

  // Hands the program the player lines [from, to) and waits until it has taken them.
  void feedPlayers(std::size_t from, std::size_t to) {
    fifo_->write(playerLines(from, to));
    ASSERT_TRUE(fifo_->waitUntilTaken(program_->pid())) << "the program did not read the lines";
  }
  // Writes the player lines from `from` on and ends the FIFO.
  void finishPlayers(std::size_t from) {
    fifo_->write(playerLines(from, SIZE_MAX));
    fifo_->close();
  }
  static std::string playerLines(std::size_t from, std::size_t to) {
    const std::vector<std::string> lines = linesOf(examplePlayers());
    std::string bytes;
    for (std::size_t i = from; i < to && i < lines.size(); ++i) bytes += lines[i];
    return bytes;
  }
  void expectNormalEnd() {
    EXPECT_EQ(program_->wait(kLimit), 0) << "stderr: " << programErrors();
    EXPECT_EQ(programErrors(), "");
  }

  // Waits for `count` passes of the program's service loop: a spot painted white in its window
  // must turn black again, by the repaint of a pass that began after the spot was painted.
  // Every event the server sent the program before that is then handled.
  void waitForServicePasses(int count = 2) {
    Display* display = server().connection();
    const XWindowAttributes attributes = windowAttributes();
    const int x = attributes.width / 2, y = attributes.height / 2;
    GC gc = XCreateGC(display, window_, 0, nullptr);
    XSetForeground(display, gc, WhitePixel(display, DefaultScreen(display)));
    for (int pass = 0; pass < count; ++pass) {
      XFillRectangle(display, window_, gc, x, y, 4, 4);
      XSync(display, False);
      EXPECT_TRUE(waitUntil([&] { return pixelOfWindow(x + 1, y + 1) == kBlack; }, kLimit))
          << "the program does not repaint its window";
    }
    XFreeGC(display, gc);
  }
  // Waits until the window manager has handled all that was sent to it so far: it handles its
  // events in order, and one of them that it answers by a change the test can see comes last.
  void waitForWindowManager() {
    const Atom above = server().atom("_NET_WM_STATE_ABOVE");
    const auto isAbove = [&] {
      const std::vector<unsigned long> states = server().longProperty(window_, "_NET_WM_STATE");
      return std::find(states.begin(), states.end(), above) != states.end();
    };
    for (const long action : {1L, 0L}) {
      server().sendToRoot(window_, "_NET_WM_STATE", {action, static_cast<long>(above), 0, 2});
      ASSERT_TRUE(waitUntil([&] { return isAbove() == (action == 1); }, kLimit))
          << "the window manager does not answer";
    }
  }
  XWindowAttributes windowAttributes() {
    XWindowAttributes attributes{};
    XGetWindowAttributes(server().connection(), window_, &attributes);
    return attributes;
  }
  std::uint32_t pixelOfWindow(int x, int y) {
    XImage* image = XGetImage(server().connection(), window_, x, y, 1, 1, AllPlanes, ZPixmap);
    if (image == nullptr) return kWhite;
    const auto pixel = static_cast<std::uint32_t>(XGetPixel(image, 0, 0) & 0xFFFFFF);
    XDestroyImage(image);
    return pixel;
  }

  WindowGeometry centred() const {
    return {(server_->options().width - kWidth) / 2, (server_->options().height - kHeight) / 2,
            kWidth, kHeight};
  }

  // The list when reading stopped after the first `players` player lines and at the first club.
  static std::string listOfFirstPlayersWithoutClubs(std::size_t players) {
    return reference::convertFiles(playerLines(0, players), "");
  }

  ScratchDirectory scratch_;
  std::unique_ptr<XServer> server_;
  std::unique_ptr<PlayerFifo> fifo_;
  std::unique_ptr<ChildProcess> program_;
  Window window_ = None;
};

class StatusWindowUnderManager : public StatusWindowTest,
                                 public testing::WithParamInterface<Manager> {
 protected:
  bool openbox() const { return GetParam() == Manager::kOpenbox; }
};

// ---------------------------------------------------------------------------------------------
// The window

TEST_P(StatusWindowUnderManager, IsABlackFixedSizeWindowCentredOnTheScreen) {
  startServer(GetParam());
  ASSERT_NO_FATAL_FAILURE(startWithFifo());

  EXPECT_EQ(server().geometry(window_), centred());
  const ToolResult info = server().run({"xwininfo", "-id", std::to_string(window_)});
  ASSERT_EQ(info.status, 0) << info.err;
  EXPECT_EQ(xwininfoValue(info.out, "Absolute upper-left X:"), 110) << info.out;
  EXPECT_EQ(xwininfoValue(info.out, "Absolute upper-left Y:"), 380) << info.out;
  EXPECT_EQ(xwininfoValue(info.out, "Width:"), kWidth) << info.out;
  EXPECT_EQ(xwininfoValue(info.out, "Height:"), kHeight) << info.out;
  EXPECT_NE(info.out.find("Map State: IsViewable"), std::string::npos) << info.out;

  // black inside; white just outside, or outside the frame that a window manager adds
  const Screenshot shot = server().screenshot();
  const WindowGeometry area = centred();
  std::size_t notBlack = 0;
  for (int y = area.y; y < area.y + area.height; ++y) {
    for (int x = area.x; x < area.x + area.width; ++x) notBlack += shot.pixel(x, y) != kBlack;
  }
  EXPECT_EQ(notBlack, 0u) << "pixels of the client area that are not black";
  std::vector<unsigned long> frame = server().longProperty(window_, "_NET_FRAME_EXTENTS");
  if (!openbox()) EXPECT_TRUE(frame.empty());
  frame.resize(4, 0);  // left, right, top, bottom
  const int left = area.x - 1 - static_cast<int>(frame[0]);
  const int right = area.x + area.width + static_cast<int>(frame[1]);
  const int top = area.y - 1 - static_cast<int>(frame[2]);
  const int bottom = area.y + area.height + static_cast<int>(frame[3]);
  std::size_t notWhite = 0;
  for (int x = left; x <= right; ++x)
    notWhite += (shot.pixel(x, top) != kWhite) + (shot.pixel(x, bottom) != kWhite);
  for (int y = top; y <= bottom; ++y)
    notWhite += (shot.pixel(left, y) != kWhite) + (shot.pixel(right, y) != kWhite);
  EXPECT_EQ(notWhite, 0u) << "pixels just outside the window that are not white";

  // it stays so: the run completes with the whole list
  ASSERT_NO_FATAL_FAILURE(finishPlayers(0));
  expectNormalEnd();
  expectSameListLines(readFile(listFile()), expectedList());
  EXPECT_FALSE(server().findWindow(kTitle)) << "the window outlived the program";
}

TEST_P(StatusWindowUnderManager, TellsTheWindowManagerItsTitleSizeAndCloseProtocol) {
  startServer(GetParam());
  ASSERT_NO_FATAL_FAILURE(startWithFifo());

  const ToolResult hints =
      server().run({"xprop", "-id", std::to_string(window_), "WM_NORMAL_HINTS"});
  EXPECT_NE(hints.out.find("program specified minimum size: 1700 by 320"), std::string::npos)
      << hints.out;
  EXPECT_NE(hints.out.find("program specified maximum size: 1700 by 320"), std::string::npos)
      << hints.out;
  EXPECT_NE(hints.out.find("window gravity: Static"), std::string::npos) << hints.out;

  const ToolResult protocols =
      server().run({"xprop", "-id", std::to_string(window_), "WM_PROTOCOLS"});
  EXPECT_NE(protocols.out.find("WM_DELETE_WINDOW"), std::string::npos) << protocols.out;

  const ToolResult names =
      server().run({"xprop", "-id", std::to_string(window_), "WM_NAME", "_NET_WM_NAME"});
  EXPECT_NE(names.out.find("WM_NAME(STRING) = \"dwzliste\""), std::string::npos) << names.out;
  EXPECT_NE(names.out.find("_NET_WM_NAME(UTF8_STRING) = \"dwzliste\""), std::string::npos)
      << names.out;

  if (openbox()) {
    // the window manager offers no resizing and no maximising for a window of one fixed size
    const std::vector<std::string> actions =
        server().atomNames(server().longProperty(window_, "_NET_WM_ALLOWED_ACTIONS"));
    EXPECT_EQ(std::count(actions.begin(), actions.end(), "_NET_WM_ACTION_RESIZE"), 0);
    EXPECT_EQ(std::count(actions.begin(), actions.end(), "_NET_WM_ACTION_MAXIMIZE_HORZ"), 0);
    EXPECT_EQ(std::count(actions.begin(), actions.end(), "_NET_WM_ACTION_CLOSE"), 1);
  }

  ASSERT_NO_FATAL_FAILURE(finishPlayers(0));
  expectNormalEnd();
}

TEST_F(StatusWindowTest, TitleIsTheProgramFileNameWithoutDirectoryAndLastExtension) {
  startServer(Manager::kNone);
  // a path far longer than 127 bytes, and a name that is not ASCII
  fs::path directory = work() / "bin";
  for (int i = 0; directory.string().size() < 300; ++i) {
    directory /= "ein-recht-langes-Verzeichnis-" + std::to_string(i);
  }
  fs::create_directories(directory);
  const fs::path program = directory /
                           "Pr\xC3\xBC"
                           "fprogramm.neu.bin";
  fs::copy_file(DWZLISTE_BINARY, program);
  const std::string title =
      "Pr\xC3\xBC"
      "fprogramm.neu";

  ASSERT_NO_FATAL_FAILURE(startWithFifo({program.string()}, title));

  std::string type;
  EXPECT_EQ(server().byteProperty(window_, "_NET_WM_NAME", &type), title);
  EXPECT_EQ(type, "UTF8_STRING");
  EXPECT_EQ(server().windowName(window_), title) << "WM_NAME, decoded";
  ASSERT_NO_FATAL_FAILURE(finishPlayers(0));
  expectNormalEnd();
  expectSameListLines(readFile(listFile()), expectedList());
}

// ---------------------------------------------------------------------------------------------
// The abort key

TEST_P(StatusWindowUnderManager, EscapeHeldInTheWindowStopsTheReadingAtTheNextLine) {
  startServer(GetParam());
  ASSERT_NO_FATAL_FAILURE(startWithFifo());
  ASSERT_NO_FATAL_FAILURE(feedPlayers(0, kLinesBeforeEscape));

  HeldKey escape(server(), "Escape");
  waitForServicePasses();  // the key table has been refreshed since
  // the next line is read, and dropped; the reading of Spieler.sql ends there, and that of
  // Vereine.sql, a plain file, ends at its first line while Escape is still held
  ASSERT_NO_FATAL_FAILURE(finishPlayers(kLinesBeforeEscape));
  expectNormalEnd();
  escape.release();

  expectSameListLines(readFile(listFile()), listOfFirstPlayersWithoutClubs(kLinesBeforeEscape));
}

TEST_P(StatusWindowUnderManager, EscapeHeldWhileAnotherWindowHasTheFocusDoesNothing) {
  startServer(GetParam());
  ASSERT_NO_FATAL_FAILURE(startWithFifo());
  ASSERT_NO_FATAL_FAILURE(feedPlayers(0, kLinesBeforeEscape));

  // another window, away from the status window, takes the focus
  const Window other = server().createWindow({0, 0, 100, 100}, "another window");
  const ToolResult focus = server().run(
      {"xdotool", openbox() ? "windowactivate" : "windowfocus", "--sync", std::to_string(other)});
  ASSERT_EQ(focus.status, 0) << focus.err;
  ASSERT_TRUE(server().waitForFocus(other, kLimit));

  HeldKey escape(server(), "Escape");
  waitForServicePasses();
  ASSERT_NO_FATAL_FAILURE(finishPlayers(kLinesBeforeEscape));
  expectNormalEnd();
  EXPECT_TRUE(server().waitForFocus(other, Milliseconds(0))) << "the focus moved during the run";
  escape.release();

  expectSameListLines(readFile(listFile()), expectedList());
}

TEST_F(StatusWindowTest, EscapeDoesNothingWhileTheWindowIsMinimisedAndWorksWhenItIsBack) {
  startServer(Manager::kOpenbox);
  ASSERT_NO_FATAL_FAILURE(startWithFifo());
  const std::string id = std::to_string(window_);

  const ToolResult minimise = server().run({"xdotool", "windowminimize", "--sync", id});
  ASSERT_EQ(minimise.status, 0) << minimise.err;
  ASSERT_TRUE(waitUntil([&] { return server().focusedWindow() != window_; }, kLimit));
  {
    // the window cannot be painted on while it is minimised: a few refresh ticks instead
    HeldKey escape(server(), "Escape");
    std::this_thread::sleep_for(kKeyTicks);
    ASSERT_NO_FATAL_FAILURE(feedPlayers(0, kLinesBeforeEscape));
  }

  const ToolResult restore = server().run({"xdotool", "windowactivate", "--sync", id});
  ASSERT_EQ(restore.status, 0) << restore.err;
  ASSERT_TRUE(server().waitForFocus(window_, kLimit));
  HeldKey escape(server(), "Escape");
  waitForServicePasses();
  ASSERT_NO_FATAL_FAILURE(finishPlayers(kLinesBeforeEscape));
  expectNormalEnd();
  escape.release();

  expectSameListLines(readFile(listFile()), listOfFirstPlayersWithoutClubs(kLinesBeforeEscape));
}

// ---------------------------------------------------------------------------------------------
// The close request

TEST_P(StatusWindowUnderManager, IgnoresTheCloseRequest) {
  startServer(GetParam());
  ASSERT_NO_FATAL_FAILURE(startWithFifo());
  ASSERT_NO_FATAL_FAILURE(feedPlayers(0, kLinesBeforeEscape));

  server().sendDeleteRequest(window_);
  if (openbox()) {
    server().key("alt+F4");  // openbox turns it into WM_DELETE_WINDOW, as its close box does
    server().sendToRoot(window_, "_NET_CLOSE_WINDOW", {CurrentTime, 2});
    ASSERT_NO_FATAL_FAILURE(waitForWindowManager());
  }
  waitForServicePasses();

  EXPECT_TRUE(server().isViewable(window_));
  EXPECT_TRUE(program_->running());
  EXPECT_EQ(server().geometry(window_), centred());
  ASSERT_NO_FATAL_FAILURE(feedPlayers(kLinesBeforeEscape, kLinesBeforeEscape + 1));
  ASSERT_NO_FATAL_FAILURE(finishPlayers(kLinesBeforeEscape + 1));
  expectNormalEnd();
  expectSameListLines(readFile(listFile()), expectedList());
}

// ---------------------------------------------------------------------------------------------
// Full screen

TEST_P(StatusWindowUnderManager, AltEnterLeavesTheWindowAsItWasWhereNoFullScreenSizeIsOffered) {
  startServer(GetParam());
  ASSERT_NO_FATAL_FAILURE(startWithFifo());

  server().key("alt+Return");
  waitForServicePasses();

  EXPECT_EQ(server().geometry(window_), centred());
  EXPECT_TRUE(server().isViewable(window_));
  ASSERT_NO_FATAL_FAILURE(finishPlayers(0));
  expectNormalEnd();
  expectSameListLines(readFile(listFile()), expectedList());
}

TEST_P(StatusWindowUnderManager, AltEnterTogglesFullScreenOnAScreenOfAFullScreenSize) {
  startServer(GetParam(), kWidth, 480);
  ASSERT_NO_FATAL_FAILURE(startWithFifo());
  EXPECT_EQ(server().geometry(window_), (WindowGeometry{0, 80, kWidth, kHeight}));

  server().key("alt+Return");
  EXPECT_TRUE(waitUntil(
      [&] {
        return server().geometry(window_) == WindowGeometry{0, 0, kWidth, 480};
      },
      kLimit))
      << "not full screen";
  waitForServicePasses();
  const Screenshot shot = server().screenshot();
  std::size_t notBlack = 0;
  for (int y = 0; y < shot.height; ++y) {
    for (int x = 0; x < shot.width; ++x) notBlack += shot.pixel(x, y) != kBlack;
  }
  EXPECT_EQ(notBlack, 0u) << "pixels of the full screen that are not black";

  server().key("alt+Return");
  EXPECT_TRUE(waitUntil([&] { return server().geometry(window_) == centred(); }, kLimit))
      << "not back in its window";
  ASSERT_NO_FATAL_FAILURE(finishPlayers(0));
  expectNormalEnd();
  expectSameListLines(readFile(listFile()), expectedList());
}

// The window manager's own full-screen action: kept on a screen of a full-screen size, undone on
// any other.
class FullScreenRequest : public StatusWindowTest,
                          public testing::WithParamInterface<int /* screen height */> {};

TEST_P(FullScreenRequest, IsKeptOnlyWhereTheScreenHasAFullScreenSize) {
  const int screenHeight = GetParam();
  const bool offered = screenHeight == 480;
  startServer(Manager::kOpenbox, offered ? kWidth : 1920, screenHeight);
  ASSERT_NO_FATAL_FAILURE(startWithFifo());
  Display* display = server().connection();
  XSelectInput(display, window_, StructureNotifyMask);
  const Atom fullScreen = server().atom("_NET_WM_STATE_FULLSCREEN");

  server().sendToRoot(window_, "_NET_WM_STATE", {1, static_cast<long>(fullScreen), 0, 2});
  // openbox puts the window, without its frame, in the screen's top left corner (it keeps the
  // fixed size); where the screen has no full-screen size the program then puts it back as it
  // was. The window manager's own ConfigureNotify tells where it put the window.
  bool seenFull = false, seenBack = false;
  waitUntil(
      [&] {
        while (XPending(display) > 0) {
          XEvent event;
          XNextEvent(display, &event);
          if (event.type != ConfigureNotify || event.xconfigure.window != window_) continue;
          const XConfigureEvent& placed = event.xconfigure;
          if (!placed.send_event) continue;
          const WindowGeometry at{placed.x, placed.y, placed.width, placed.height};
          if (at.x == 0 && at.y == 0) seenFull = true;
          if (seenFull && at == centred()) seenBack = true;
        }
        return offered ? seenFull : seenBack;
      },
      kLimit);
  EXPECT_TRUE(seenFull) << "openbox did not take the request";
  if (offered) {
    EXPECT_TRUE(waitUntil(
        [&] {
          return server().geometry(window_) == WindowGeometry{0, 0, kWidth, 480};
        },
        kLimit))
        << "not full screen";
  } else {
    EXPECT_TRUE(seenBack) << "the window stayed as large as the screen";
    EXPECT_TRUE(waitUntil([&] { return server().geometry(window_) == centred(); }, kLimit))
        << "not back in its place";
  }
  waitForServicePasses();
  EXPECT_EQ(server().longProperty(window_, "_NET_WM_STATE").size() == 1 &&
                server().longProperty(window_, "_NET_WM_STATE").front() == fullScreen,
            offered)
      << "the full-screen state";

  ASSERT_NO_FATAL_FAILURE(finishPlayers(0));
  expectNormalEnd();
  expectSameListLines(readFile(listFile()), expectedList());
}

INSTANTIATE_TEST_SUITE_P(StatusWindow, FullScreenRequest, testing::Values(1080, 480),
                         [](const testing::TestParamInfo<int>& info) {
                           return info.param == 480 ? "OnA1700By480Screen" : "OnA1920By1080Screen";
                         });

// ---------------------------------------------------------------------------------------------
// The screen saver

TEST_F(StatusWindowTest, KeepsTheScreenSaverOffWhileOpen) {
  startServer(Manager::kNone);
  Display* display = server().connection();
  XSetScreenSaver(display, 1, 1, DontPreferBlanking, AllowExposures);  // on after 1 s idle
  XSync(display, False);
  ASSERT_NO_FATAL_FAILURE(startWithFifo());
  XScreenSaverInfo* info = XScreenSaverAllocInfo();
  const auto query = [&] {
    XScreenSaverQueryInfo(display, DefaultRootWindow(display), info);
    return *info;
  };

  XResetScreenSaver(display);
  XSync(display, False);
  ASSERT_TRUE(waitUntil([&] { return query().idle >= 1500; }, kLimit));
  EXPECT_NE(query().state, ScreenSaverOn) << "the screen saver started under the window";

  ASSERT_NO_FATAL_FAILURE(finishPlayers(0));
  expectNormalEnd();
  EXPECT_TRUE(waitUntil([&] { return query().state == ScreenSaverOn; }, kLimit))
      << "the screen saver did not start after the window closed";
  XFree(info);
}

// ---------------------------------------------------------------------------------------------
// Without a usable display the run is the same

TEST_F(StatusWindowTest, LosingTheServerDoesNotStopTheRun) {
  startServer(Manager::kNone);
  ASSERT_NO_FATAL_FAILURE(startWithFifo());
  ASSERT_NO_FATAL_FAILURE(feedPlayers(0, kLinesBeforeEscape));

  server().stop();
  ASSERT_NO_FATAL_FAILURE(feedPlayers(kLinesBeforeEscape, kLinesBeforeEscape + 1));
  ASSERT_NO_FATAL_FAILURE(finishPlayers(kLinesBeforeEscape + 1));
  expectNormalEnd();
  expectSameListLines(readFile(listFile()), expectedList());
}

struct DisplayCase {
  const char* name;
  std::optional<std::string> display;  // nullopt: DISPLAY unset
};

void PrintTo(const DisplayCase& c, std::ostream* os) { *os << c.name; }

class RunWithoutWindow : public StatusWindowTest,
                         public testing::WithParamInterface<DisplayCase> {};

TEST_P(RunWithoutWindow, GivesTheSameListAsWithAWindow) {
  startServer(Manager::kNone);  // there, but not named
  writeFile(playerFile(), examplePlayers());
  writeFile(clubFile(), exampleClubs());

  if (GetParam().display) ASSERT_FALSE(fs::exists("/tmp/.X11-unix/X4999"));
  ProcessOptions options;
  options.environment["DISPLAY"] = GetParam().display;
  program_ = startProgram({DWZLISTE_BINARY}, options);

  expectNormalEnd();
  expectSameListLines(readFile(listFile()), expectedList());
  EXPECT_FALSE(server().findWindow(kTitle));
}

INSTANTIATE_TEST_SUITE_P(StatusWindow, RunWithoutWindow,
                         testing::Values(DisplayCase{"DisplayUnset", std::nullopt},
                                         DisplayCase{"DisplayThatDoesNotExist", ":4999"}),
                         [](const testing::TestParamInfo<DisplayCase>& info) {
                           return std::string(info.param.name);
                         });

INSTANTIATE_TEST_SUITE_P(StatusWindow, StatusWindowUnderManager,
                         testing::Values(Manager::kNone, Manager::kOpenbox), managerName);

}  // namespace
