// The status window of dwzliste.exe under Wine, on a private X server: how it looks, that a
// close request does not close it, the switch to full screen, and Escape held in it cutting the
// reading of a dump short. Spieler.sql is a named pipe, so that the test decides when each line
// arrives and the program waits for it meanwhile.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "test_files.h"
#include "windows_build.h"
#include "x_server.h"

// X11 last: its macros (None, Bool, Status) would clash with names in the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr auto kDeadline = std::chrono::seconds(30);
constexpr int kScreenWidth = 1920;  // wider than the window: Wine clamps a window to the screen
constexpr int kScreenHeight = 1080;
constexpr int kClientWidth = 1700;
constexpr int kClientHeight = 320;
// Room for the frame and title bar between the window's corner and its client area.
constexpr int kMaxFrameWidth = 16;
constexpr int kMaxFrameHeight = 48;
constexpr const char* kXdotool = "/usr/bin/xdotool";

// Polls done() until it holds or the deadline passes; returns whether it held.
template <typename Condition>
bool waitFor(Condition done) {
  const auto deadline = Clock::now() + kDeadline;
  while (!done()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// The program, running in the background

class BackgroundProgram {
 public:
  // Starts command in directory; with an empty display, without any.
  BackgroundProgram(const std::vector<std::string>& command, const fs::path& directory,
                    const std::string& display) {
    std::vector<char*> argv;
    for (const std::string& argument : command) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const std::string where = directory.string();
    pid_ = fork();
    if (pid_ != 0) return;
    // Wine's own messages are of no interest; the exit status is.
    const int devNull = open("/dev/null", O_WRONLY);
    dup2(devNull, STDOUT_FILENO);
    dup2(devNull, STDERR_FILENO);
    if (display.empty()) {
      unsetenv("DISPLAY");
    } else {
      setenv("DISPLAY", display.c_str(), 1);
    }
    if (chdir(where.c_str()) != 0) _exit(126);
    execv(argv[0], argv.data());
    _exit(127);
  }

  ~BackgroundProgram() {
    if (pid_ <= 0 || status_ != kRunning) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }

  // The exit status once the program has ended; -1 when it did not end by the deadline.
  int waitForExit() {
    waitFor([this] { return hasEnded(); });
    return status_ == kRunning ? -1 : status_;
  }

  bool hasEnded() {
    if (status_ != kRunning) return true;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_) return false;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : kKilled;
    return true;
  }

 private:
  static constexpr int kRunning = -2;
  static constexpr int kKilled = -3;
  pid_t pid_ = -1;
  int status_ = kRunning;
};

// ---------------------------------------------------------------------------------------------
// Spieler.sql as a named pipe, fed one line at a time

// Whether a process has path open for reading only, as the program opens its input; a child
// between fork and exec holds the test's own read-write end, which does not count.
bool isOpenForReading(const fs::path& path) {
  std::error_code ignored;
  for (const fs::directory_entry& process : fs::directory_iterator("/proc", ignored)) {
    for (const fs::directory_entry& fd : fs::directory_iterator(process.path() / "fd", ignored)) {
      if (fs::read_symlink(fd.path(), ignored) != path) continue;
      std::ifstream info(process.path() / "fdinfo" / fd.path().filename());
      std::string field;
      unsigned long flags = 0;
      while (info >> field && field != "flags:") {
      }
      if (info >> std::oct >> flags && (flags & O_ACCMODE) == O_RDONLY) return true;
    }
  }
  return false;
}

class DumpPipe {
 public:
  explicit DumpPipe(const fs::path& path) : path_(path) {
    if (mkfifo(path.c_str(), 0644) != 0) ADD_FAILURE() << "mkfifo: " << std::strerror(errno);
    // Wine opens a pipe without waiting for a writer and takes no writer for the end of the
    // file, so there is one before the program opens it.
    fd_ = open(path.c_str(), O_RDWR | O_CLOEXEC);
  }

  ~DumpPipe() { close(); }

  // Waits until the program has the pipe open, then keeps only a writing end, so that closing
  // it ends the program's file.
  bool waitForReader() {
    if (!waitFor([this] { return isOpenForReading(path_); })) return false;
    const int writer = open(path_.c_str(), O_WRONLY | O_CLOEXEC);
    ::close(fd_);
    fd_ = writer;
    return fd_ >= 0;
  }

  // Writes bytes and waits until the reader has taken all of them; false when the reader has
  // closed the pipe without taking them.
  bool feed(std::string_view bytes) {
    if (write(fd_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) return false;
    bool taken = false;
    waitFor([&] {
      int unread = 0;
      ioctl(fd_, FIONREAD, &unread);
      taken = unread == 0;
      pollfd end{fd_, POLLOUT, 0};
      return taken || (poll(&end, 1, 0) == 1 && (end.revents & POLLERR) != 0);
    });
    return taken;
  }

  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  fs::path path_;
  int fd_ = -1;
};

// ---------------------------------------------------------------------------------------------
// What the X server shows

struct Geometry {
  int x = 0, y = 0, width = 0, height = 0;
  bool operator==(const Geometry&) const = default;
};

class XClient {
 public:
  explicit XClient(const std::string& display) : display_(XOpenDisplay(display.c_str())) {}
  ~XClient() {
    if (display_ != nullptr) XCloseDisplay(display_);
  }
  XClient(const XClient&) = delete;
  XClient& operator=(const XClient&) = delete;

  bool connected() const { return display_ != nullptr; }

  std::string titleOf(Window window) {
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    std::string title;
    if (XGetWindowProperty(display_, window, atom("_NET_WM_NAME"), 0, 1024, False,
                           atom("UTF8_STRING"), &type, &format, &count, &after, &data) == Success &&
        data != nullptr) {
      title.assign(reinterpret_cast<const char*>(data), count);
    }
    if (data != nullptr) XFree(data);
    return title;
  }

  // A viewable top-level window with this title other than `other`; 0 when there is none.
  Window findWindow(const std::string& title, Window other = 0) {
    Window root, parent, *children = nullptr;
    unsigned int count = 0;
    Window found = 0;
    if (XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count)) {
      for (unsigned int i = 0; i < count && found == 0; ++i) {
        XWindowAttributes attributes;
        if (children[i] != other && XGetWindowAttributes(display_, children[i], &attributes) &&
            attributes.map_state == IsViewable && titleOf(children[i]) == title) {
          found = children[i];
        }
      }
    }
    if (children != nullptr) XFree(children);
    return found;
  }

  Window waitForWindow(const std::string& title, Window other = 0) {
    Window found = 0;
    waitFor([&] { return (found = findWindow(title, other)) != 0; });
    return found;
  }

  // Where the window is on the screen; the X window of a Wine window is its client area.
  Geometry geometryOf(Window window) {
    XWindowAttributes attributes{};
    XGetWindowAttributes(display_, window, &attributes);
    int x = 0, y = 0;
    Window child;
    XTranslateCoordinates(display_, window, DefaultRootWindow(display_), 0, 0, &x, &y, &child);
    return {x, y, attributes.width, attributes.height};
  }

  // The number of pixels of the window that are not black, from a screenshot of it.
  long nonBlackPixels(Window window) {
    const Geometry size = geometryOf(window);
    XImage* image = XGetImage(display_, window, 0, 0, static_cast<unsigned>(size.width),
                              static_cast<unsigned>(size.height), AllPlanes, ZPixmap);
    if (image == nullptr) return -1;
    const unsigned long colour = image->red_mask | image->green_mask | image->blue_mask;
    long count = 0;
    for (int y = 0; y < size.height; ++y) {
      for (int x = 0; x < size.width; ++x) count += (XGetPixel(image, x, y) & colour) != 0;
    }
    XDestroyImage(image);
    return count;
  }

  // The non-black pixels of the window once it has been painted: a window just created shows
  // whatever the X server had there until the program's first paint reaches it.
  long nonBlackPixelsOnceShown(Window window) {
    long count = nonBlackPixels(window);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (count != 0 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      count = nonBlackPixels(window);
    }
    return count;
  }

  // What the close box of a window manager sends.
  void askToClose(Window window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = atom("WM_PROTOCOLS");
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(atom("WM_DELETE_WINDOW"));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, window, False, NoEventMask, &event);
    XSync(display_, False);
  }

 private:
  Atom atom(const char* name) { return XInternAtom(display_, name, False); }

  Display* display_;
};

// xdotool sending keys to the window itself, as if it had the keyboard focus.
int sendKeys(const std::string& display, const std::string& action, Window window,
             const std::string& keys) {
  setenv("DISPLAY", display.c_str(), 1);
  return runCommand({kXdotool, action, "--window", std::to_string(window), keys});
}

std::string whyNoXdotool() {
  return access(kXdotool, X_OK) == 0 ? "" : std::string("no ") + kXdotool;
}

// ---------------------------------------------------------------------------------------------
// Dumps

std::string playerLine(int number) {
  return "REPLACE INTO `dwz_spieler` VALUES (\"10101\",\"" + std::to_string(number) +
         "\",\"Spieler,Nummer " + std::to_string(number) + "\",1500);\n";
}

std::string listLineWithoutClub(int number) {
  return "\"10101\",\"" + std::to_string(number) + "\",\"Spieler,Nummer " + std::to_string(number) +
         "\",1500,\"\"\r\n";
}

constexpr const char* kClubs =
    "REPLACE INTO `dwz_vereine` VALUES (\"10101\",\"1\",\"ABC\",\"Verein\");\n";

class StatusWindowOnWindows : public testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_OR_SKIP(whyNoWindowsBuild());
    REQUIRE_OR_SKIP(whyNoXServer());
    REQUIRE_OR_SKIP(whyNoXdotool());
    signal(SIGPIPE, SIG_IGN);  // the program closes the pipe while more is written to it
    server_ =
        std::make_unique<XServer>(XServerOptions{.width = kScreenWidth, .height = kScreenHeight});
    fs::create_directory(work());
    waitForWineSessionEnd();
  }

  // The program has ended by now; its session goes before the X server it shows on.
  void TearDown() override { waitForWineSessionEnd(); }

  fs::path work() const { return scratch_.path() / "work"; }
  const std::string& display() const { return server_->display(); }

  ScratchDirectory scratch_;
  std::unique_ptr<XServer> server_;
};

TEST_F(StatusWindowOnWindows, IsBlackCentredNamedAfterTheProgramAndStaysOnACloseRequest) {
  // a program path far longer than 127 bytes, and a name with a full stop in it
  const fs::path directory = scratch_.path() / std::string(150, 'v');
  fs::create_directory(directory);
  const fs::path program = directory / "Turnier.Auswertung.exe";
  fs::copy_file(windowsBuildDirectory() + "/dwzliste.exe", program);
  const fs::path examples = DWZLISTE_EXAMPLES;
  fs::copy_file(examples / "Vereine.sql", work() / "Vereine.sql");
  DumpPipe players(work() / "Spieler.sql");
  BackgroundProgram run(underWine(program.string()), work(), display());
  ASSERT_TRUE(players.waitForReader()) << "the program did not open Spieler.sql";
  XClient x(display());
  ASSERT_TRUE(x.connected());

  const Window window = x.waitForWindow("Turnier.Auswertung");
  ASSERT_NE(window, 0u) << "no window titled Turnier.Auswertung";
  const Geometry client = x.geometryOf(window);
  EXPECT_EQ(client.width, kClientWidth);
  EXPECT_EQ(client.height, kClientHeight);
  // the window's top-left corner is centred as if it were the client area alone
  const int left = (kScreenWidth - kClientWidth) / 2, top = (kScreenHeight - kClientHeight) / 2;
  EXPECT_GE(client.x, left);
  EXPECT_LE(client.x, left + kMaxFrameWidth);
  EXPECT_GE(client.y, top);
  EXPECT_LE(client.y, top + kMaxFrameHeight);
  EXPECT_EQ(x.nonBlackPixelsOnceShown(window), 0);

  // a window manager's close request and Alt+F4, then Alt+Enter: the display offers no mode
  // 1700 pixels wide, so a window just like the first comes in its place, which only a window
  // that is still there can do
  x.askToClose(window);
  ASSERT_EQ(sendKeys(display(), "key", window, "alt+F4"), 0);
  ASSERT_EQ(sendKeys(display(), "key", window, "alt+Return"), 0);
  const Window again = x.waitForWindow("Turnier.Auswertung", window);
  ASSERT_NE(again, 0u) << "the window did not come back after Alt+Enter";
  EXPECT_EQ(x.geometryOf(again), client);
  EXPECT_EQ(x.nonBlackPixelsOnceShown(again), 0);
  EXPECT_FALSE(run.hasEnded());

  // and the run goes on to the same list
  EXPECT_TRUE(players.feed(readFile(examples / "Spieler.sql")));
  players.close();
  EXPECT_EQ(run.waitForExit(), 0);
  EXPECT_EQ(readFile(work() / "DWZ.liste"), readFile(examples / "expected-DWZ.liste"));
}

TEST_F(StatusWindowOnWindows, EscapeHeldCutsTheReadingShortAtTheNextLine) {
  constexpr int kBeforeEscape = 5;
  constexpr int kPlayers = 200;
  writeFile(work() / "Vereine.sql", kClubs);
  DumpPipe players(work() / "Spieler.sql");
  BackgroundProgram run(underWine("dwzliste.exe"), work(), display());
  ASSERT_TRUE(players.waitForReader()) << "the program did not open Spieler.sql";
  XClient x(display());
  const Window window = x.waitForWindow("dwzliste");
  ASSERT_NE(window, 0u) << "no window titled dwzliste";
  for (int number = 1; number <= kBeforeEscape; ++number) {
    ASSERT_TRUE(players.feed(playerLine(number)));
  }

  // held, not tapped: a tap could fall between two refreshes of the key table
  ASSERT_EQ(sendKeys(display(), "keydown", window, "Escape"), 0);
  // Wine activates the window a little after it is shown, and activation clears the key
  // table: like a real keyboard's repeat, the held key is pressed again with every line.
  int taken = kBeforeEscape;
  while (taken < kPlayers && players.feed(playerLine(taken + 1))) {
    ++taken;
    sendKeys(display(), "keydown", window, "Escape");
  }
  players.close();
  const int status = run.waitForExit();
  sendKeys(display(), "keyup", window, "Escape");

  EXPECT_EQ(status, 0);
  EXPECT_LT(taken, kPlayers) << "the reading was not cut short";
  // the line read when Escape was seen is not kept; the club file, read with Escape still
  // held, stops at its first line, so no player gets a club name
  std::string expected;
  for (int number = 1; number < taken; ++number) expected += listLineWithoutClub(number);
  EXPECT_EQ(readFile(work() / "DWZ.liste"), expected);
  EXPECT_GE(taken - 1, kBeforeEscape);
}

TEST_F(StatusWindowOnWindows, RunsWithoutADisplayToTheSameList) {
  const fs::path examples = DWZLISTE_EXAMPLES;
  fs::copy_file(examples / "Spieler.sql", work() / "Spieler.sql");
  fs::copy_file(examples / "Vereine.sql", work() / "Vereine.sql");

  BackgroundProgram run(underWine("dwzliste.exe"), work(), "");

  EXPECT_EQ(run.waitForExit(), 0);
  EXPECT_EQ(readFile(work() / "DWZ.liste"), readFile(examples / "expected-DWZ.liste"));
}

}  // namespace
