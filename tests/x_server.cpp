// A real X server for tests, and the processes and tools run against it.
#include "x_server.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr Milliseconds kStartLimit(15000);  // for the server and the window manager
constexpr Milliseconds kToolLimit(30000);
constexpr Milliseconds kProbeLimit(250);  // for the window manager to show a new window
constexpr Milliseconds kEndLimit(5000);   // after SIGTERM, before SIGKILL
constexpr int kExitedBySignal = 128;

std::runtime_error failure(const std::string& what) {
  return std::runtime_error(what + (errno != 0 ? std::string(": ") + std::strerror(errno) : ""));
}

std::string fileText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Windows come and go while a test looks at them; an error about one that has gone is no
// failure of the test, and must not end it as Xlib's default handler would.
int ignoreXError(Display*, XErrorEvent*) { return 0; }

}  // namespace

bool waitUntil(const std::function<bool()>& condition, Milliseconds limit, Milliseconds step) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(step);
  }
}

// ---------------------------------------------------------------------------------------------
// Processes

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const ProcessOptions& options) {
  if (argv.empty()) throw std::invalid_argument("no command line");
  // everything the child needs is made before fork: after it the child only makes system calls
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    const std::string name(text.substr(0, text.find('=')));
    if (options.environment.count(name) == 0) environment.emplace_back(text);
  }
  for (const auto& [name, value] : options.environment) {
    if (value) environment.push_back(name + "=" + *value);
  }
  std::vector<char*> env;
  for (const std::string& entry : environment) env.push_back(const_cast<char*>(entry.c_str()));
  env.push_back(nullptr);
  const std::string directory = options.directory.string();
  const std::string out = options.out.empty() ? "/dev/null" : options.out.string();
  const std::string err = options.err.empty() ? "/dev/null" : options.err.string();

  pid_ = fork();
  if (pid_ < 0) throw failure("fork");
  if (pid_ > 0) return;

  const int in = open("/dev/null", O_RDONLY);
  const int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (in < 0 || outFd < 0 || errFd < 0 || dup2(in, STDIN_FILENO) < 0 ||
      dup2(outFd, STDOUT_FILENO) < 0 || dup2(errFd, STDERR_FILENO) < 0) {
    _exit(126);
  }
  for (const int fd : options.keepDescriptors) fcntl(fd, F_SETFD, 0);
  // ignored signals stay ignored across exec, and the test ignores SIGPIPE
  signal(SIGPIPE, SIG_DFL);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  if (!directory.empty() && chdir(directory.c_str()) != 0) _exit(126);
  execvpe(args[0], args.data(), env.data());
  dprintf(STDERR_FILENO, "cannot run %s: %s\n", args[0], std::strerror(errno));
  _exit(127);
}

ChildProcess::~ChildProcess() { end(); }

bool ChildProcess::reap(int options) {
  if (status_) return true;
  int status = 0;
  pid_t got;
  do {
    got = waitpid(pid_, &status, options);
  } while (got < 0 && errno == EINTR);
  if (got != pid_) return false;
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : kExitedBySignal + WTERMSIG(status);
  return true;
}

bool ChildProcess::running() { return !reap(WNOHANG); }

std::optional<int> ChildProcess::wait(Milliseconds limit) {
  waitUntil([this] { return reap(WNOHANG); }, limit, Milliseconds(2));
  return status_;
}

std::optional<int> ChildProcess::end() {
  if (!running()) return status_;
  kill(pid_, SIGTERM);
  if (wait(kEndLimit)) return status_;
  kill(pid_, SIGKILL);
  reap(0);
  return status_;
}

bool isBlockedReading(pid_t pid, const fs::path& path) {
  const fs::path wanted = fs::weakly_canonical(path);
  const fs::path process = fs::path("/proc") / std::to_string(pid);
  std::error_code error;
  for (const fs::directory_entry& task : fs::directory_iterator(process / "task", error)) {
    // "number arg1 arg2 ..." while the thread is in a system call
    std::istringstream call(fileText(task.path() / "syscall"));
    long number = -1;
    std::string firstArgument;
    if (!(call >> number >> firstArgument)) continue;
    if (number != SYS_read && number != SYS_readv && number != SYS_pread64) continue;
    const long fd = std::strtol(firstArgument.c_str(), nullptr, 16);
    const fs::path file = fs::read_symlink(process / "fd" / std::to_string(fd), error);
    if (!error && file == wanted) return true;
  }
  return false;
}

// ---------------------------------------------------------------------------------------------
// Screenshots

std::uint32_t Screenshot::pixel(int x, int y) const {
  const std::size_t at = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                          static_cast<std::size_t>(x)) *
                         3;
  const auto byte = [this](std::size_t i) { return static_cast<unsigned char>(rgb[i]); };
  return (std::uint32_t{byte(at)} << 16) | (std::uint32_t{byte(at + 1)} << 8) | byte(at + 2);
}

// ---------------------------------------------------------------------------------------------
// The X server

std::string whyNoXServer() {
  const char* path = std::getenv("PATH");
  std::string_view directories = path != nullptr ? path : "";
  while (!directories.empty()) {
    const std::size_t colon = std::min(directories.find(':'), directories.size());
    const fs::path candidate = fs::path(directories.substr(0, colon)) / "Xvfb";
    if (access(candidate.c_str(), X_OK) == 0) return "";
    directories.remove_prefix(std::min(colon + 1, directories.size()));
  }
  return "no X server: Xvfb is not on the PATH";
}

XServer::XServer(const XServerOptions& options) : options_(options) {
  startServer();
  connect();
  if (options_.windowManager) startWindowManager();
}

XServer::~XServer() { stop(); }

pid_t XServer::serverPid() const { return server_ ? server_->pid() : -1; }

void XServer::startServer() {
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) throw failure("pipe");
  const std::string screen = std::to_string(options_.width) + "x" +
                             std::to_string(options_.height) + "x" + std::to_string(options_.depth);
  ProcessOptions process;
  process.err = scratch_ / "Xvfb.log";
  process.keepDescriptors = {pipeEnds[1]};
  try {
    server_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"Xvfb", "-screen", "0", screen, "-wr", "-displayfd",
                                 std::to_string(pipeEnds[1])},
        process);
  } catch (...) {
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    throw;
  }
  close(pipeEnds[1]);
  // the server writes its display number when it is ready for clients; EOF means it ended
  std::string number;
  const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
  while (number.empty() || number.back() != '\n') {
    const auto left =
        std::chrono::duration_cast<Milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd ready{pipeEnds[0], POLLIN, 0};
    if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) <= 0) break;
    char c;
    if (read(pipeEnds[0], &c, 1) != 1) break;
    number += c;
  }
  close(pipeEnds[0]);
  if (number.empty() || number.back() != '\n') {
    server_->end();
    errno = 0;
    throw failure("Xvfb did not start: " + fileText(scratch_ / "Xvfb.log"));
  }
  number.pop_back();
  display_ = ":" + number;
}

void XServer::connect() {
  XSetErrorHandler(ignoreXError);
  connection_ = XOpenDisplay(display_.c_str());
  if (connection_ == nullptr) {
    errno = 0;
    throw failure("cannot connect to the X server on " + display_);
  }
}

void XServer::startWindowManager() {
  const fs::path config = scratch_ / "config";  // no user settings: openbox's packaged rc.xml
  fs::create_directories(config);
  ProcessOptions process;
  process.environment = {{"DISPLAY", display_}, {"XDG_CONFIG_HOME", config.string()}};
  process.out = process.err = scratch_ / "openbox.log";
  windowManager_ =
      std::make_unique<ChildProcess>(std::vector<std::string>{"openbox", "--sm-disable"}, process);
  // ready once it holds the ICCCM manager selection and its EWMH check window names itself
  const Atom selection = atom("WM_S0");
  const bool ready = waitUntil(
      [&] {
        if (XGetSelectionOwner(connection_, selection) == None) return false;
        const Window root = DefaultRootWindow(connection_);
        const std::vector<unsigned long> check = longProperty(root, "_NET_SUPPORTING_WM_CHECK");
        return check.size() == 1 &&
               longProperty(check.front(), "_NET_SUPPORTING_WM_CHECK") == check;
      },
      kStartLimit);
  // and once it shows a new window: while it still starts up it may hold one back for good
  // (until asked to activate it), so each probe gets a short while before the next is tried
  const bool shown =
      ready && waitUntil(
                   [&] {
                     const Window probe = XCreateSimpleWindow(
                         connection_, DefaultRootWindow(connection_), 0, 0, 10, 10, 0, 0, 0);
                     XMapWindow(connection_, probe);
                     const bool viewable =
                         waitUntil([&] { return isViewable(probe); }, kProbeLimit);
                     XDestroyWindow(connection_, probe);
                     XSync(connection_, False);
                     return viewable;
                   },
                   kStartLimit, Milliseconds(0));
  if (!ready || !shown) {
    errno = 0;
    throw failure("openbox did not start: " + fileText(scratch_ / "openbox.log"));
  }
}

void XServer::stop() {
  if (connection_ != nullptr) XCloseDisplay(connection_);
  connection_ = nullptr;
  if (windowManager_) windowManager_->end();
  windowManager_.reset();
  if (server_) server_->end();
  server_.reset();
}

std::unique_ptr<ChildProcess> XServer::start(const std::vector<std::string>& argv,
                                             ProcessOptions options) const {
  options.environment.try_emplace("DISPLAY", display_);
  return std::make_unique<ChildProcess>(argv, options);
}

ToolResult XServer::run(const std::vector<std::string>& argv) const {
  const int n = ++runs_;
  ProcessOptions options;
  options.out = scratch_ / ("tool-" + std::to_string(n) + ".out");
  options.err = scratch_ / ("tool-" + std::to_string(n) + ".err");
  ToolResult result;
  {
    const std::unique_ptr<ChildProcess> tool = start(argv, options);
    result.status = tool->wait(kToolLimit).value_or(-1);
  }
  result.out = fileText(options.out);
  result.err = fileText(options.err);
  fs::remove(options.out);
  fs::remove(options.err);
  return result;
}

Atom XServer::atom(const char* name) const { return XInternAtom(connection_, name, False); }

std::optional<Window> XServer::findWindow(std::string_view title) const {
  std::vector<Window> pending = {DefaultRootWindow(connection_)};
  while (!pending.empty()) {
    const Window window = pending.back();
    pending.pop_back();
    const std::optional<std::string> name = byteProperty(window, "_NET_WM_NAME");
    if (name ? *name == title : windowName(window) == title) return window;
    Window root, parent;
    Window* children = nullptr;
    unsigned count = 0;
    if (XQueryTree(connection_, window, &root, &parent, &children, &count) == 0) continue;
    pending.insert(pending.end(), children, children + count);
    if (children != nullptr) XFree(children);
  }
  return std::nullopt;
}

bool XServer::isViewable(Window window) const {
  XWindowAttributes attributes{};
  return XGetWindowAttributes(connection_, window, &attributes) != 0 &&
         attributes.map_state == IsViewable;
}

std::optional<Window> XServer::waitForWindow(std::string_view title, Milliseconds limit) const {
  std::optional<Window> found;
  waitUntil(
      [&] {
        found = findWindow(title);
        return found && isViewable(*found);
      },
      limit, Milliseconds(10));
  if (found && !isViewable(*found)) found.reset();
  return found;
}

Window XServer::focusedWindow() const {
  Window focus = None;
  int revert = 0;
  XGetInputFocus(connection_, &focus, &revert);
  return focus;
}

bool XServer::waitForFocus(Window window, Milliseconds limit) const {
  return waitUntil(
      [&] {
        // the focus is on the window or on one inside it
        for (Window at = focusedWindow(); at != None && at != PointerRoot;) {
          if (at == window) return true;
          Window root, parent;
          Window* children = nullptr;
          unsigned count = 0;
          if (XQueryTree(connection_, at, &root, &parent, &children, &count) == 0) return false;
          if (children != nullptr) XFree(children);
          if (at == root) return false;
          at = parent;
        }
        return false;
      },
      limit);
}

WindowGeometry XServer::geometry(Window window) const {
  XWindowAttributes attributes{};
  if (XGetWindowAttributes(connection_, window, &attributes) == 0) return {};
  WindowGeometry geometry{0, 0, attributes.width, attributes.height};
  Window child;
  XTranslateCoordinates(connection_, window, DefaultRootWindow(connection_), 0, 0, &geometry.x,
                        &geometry.y, &child);
  return geometry;
}

std::optional<std::string> XServer::byteProperty(Window window, const char* name,
                                                 std::string* type) const {
  Atom actualType = None;
  int format = 0;
  unsigned long count = 0, remaining = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(connection_, window, atom(name), 0, 1 << 20, False, AnyPropertyType,
                         &actualType, &format, &count, &remaining, &data) != Success) {
    return std::nullopt;
  }
  std::optional<std::string> bytes;
  if (actualType != None && format == 8 && data != nullptr) {
    bytes = std::string(reinterpret_cast<const char*>(data), count);
    if (type != nullptr) {
      char* typeName = XGetAtomName(connection_, actualType);
      *type = typeName != nullptr ? typeName : "";
      if (typeName != nullptr) XFree(typeName);
    }
  }
  if (data != nullptr) XFree(data);
  return bytes;
}

std::vector<unsigned long> XServer::longProperty(Window window, const char* name) const {
  Atom actualType = None;
  int format = 0;
  unsigned long count = 0, remaining = 0;
  unsigned char* data = nullptr;
  std::vector<unsigned long> items;
  if (XGetWindowProperty(connection_, window, atom(name), 0, 1 << 16, False, AnyPropertyType,
                         &actualType, &format, &count, &remaining, &data) == Success &&
      data != nullptr) {
    if (format == 32) {
      const auto* values = reinterpret_cast<const unsigned long*>(data);
      items.assign(values, values + count);
    }
    XFree(data);
  }
  return items;
}

std::string XServer::windowName(Window window) const {
  XTextProperty text{};
  if (XGetWMName(connection_, window, &text) == 0) return {};
  char** list = nullptr;
  int count = 0;
  std::string name;
  if (Xutf8TextPropertyToTextList(connection_, &text, &list, &count) >= Success && list) {
    for (int i = 0; i < count; ++i) name += list[i];
    XFreeStringList(list);
  }
  if (text.value != nullptr) XFree(text.value);
  return name;
}

std::vector<std::string> XServer::atomNames(const std::vector<unsigned long>& atoms) const {
  std::vector<std::string> names;
  for (const unsigned long item : atoms) {
    char* name = XGetAtomName(connection_, item);
    names.emplace_back(name != nullptr ? name : "?");
    if (name != nullptr) XFree(name);
  }
  return names;
}

Window XServer::createWindow(const WindowGeometry& geometry, const std::string& title) const {
  const Window window = XCreateSimpleWindow(connection_, DefaultRootWindow(connection_), geometry.x,
                                            geometry.y, static_cast<unsigned>(geometry.width),
                                            static_cast<unsigned>(geometry.height), 0, 0,
                                            WhitePixel(connection_, DefaultScreen(connection_)));
  XStoreName(connection_, window, title.c_str());
  XSizeHints hints{};
  hints.flags = USPosition | USSize;
  hints.x = geometry.x;
  hints.y = geometry.y;
  hints.width = geometry.width;
  hints.height = geometry.height;
  XSetWMNormalHints(connection_, window, &hints);
  XWMHints wmHints{};
  wmHints.flags = InputHint;
  wmHints.input = True;
  XSetWMHints(connection_, window, &wmHints);
  XMapWindow(connection_, window);
  if (!waitUntil([&] { return isViewable(window); }, kStartLimit)) {
    errno = 0;
    throw failure("the window " + title + " was not shown");
  }
  return window;
}

namespace {

void sendClientMessage(Display* display, Window to, Window about, Atom type, long mask,
                       const std::vector<long>& data) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = about;
  event.xclient.message_type = type;
  event.xclient.format = 32;
  for (std::size_t i = 0; i < data.size() && i < 5; ++i) event.xclient.data.l[i] = data[i];
  XSendEvent(display, to, False, mask, &event);
  XSync(display, False);
}

}  // namespace

void XServer::sendToWindow(Window window, const char* type, std::vector<long> data) const {
  sendClientMessage(connection_, window, window, atom(type), NoEventMask, data);
}

void XServer::sendToRoot(Window window, const char* type, std::vector<long> data) const {
  sendClientMessage(connection_, DefaultRootWindow(connection_), window, atom(type),
                    SubstructureRedirectMask | SubstructureNotifyMask, data);
}

void XServer::sendDeleteRequest(Window window) const {
  sendToWindow(window, "WM_PROTOCOLS",
               {static_cast<long>(atom("WM_DELETE_WINDOW")), static_cast<long>(CurrentTime)});
}

namespace {

void runKeyTool(const XServer& server, const std::vector<std::string>& argv) {
  const ToolResult result = server.run(argv);
  if (result.status != 0) {
    errno = 0;
    throw failure(argv[0] + " " + argv[1] + " " + argv[2] + " failed: " + result.err);
  }
}

}  // namespace

void XServer::keyDown(const std::string& key) const {
  runKeyTool(*this, {"xdotool", "keydown", key});
}

void XServer::keyUp(const std::string& key) const { runKeyTool(*this, {"xdotool", "keyup", key}); }

void XServer::key(const std::string& keys) const { runKeyTool(*this, {"xdotool", "key", keys}); }

Screenshot XServer::screenshot() const {
  const fs::path file = scratch_ / ("screen-" + std::to_string(++runs_) + ".rgb");
  const ToolResult result =
      run({"import", "-window", "root", "-depth", "8", "rgb:" + file.string()});
  Screenshot shot{options_.width, options_.height, fileText(file)};
  fs::remove(file);
  if (result.status != 0 || shot.rgb.size() != static_cast<std::size_t>(shot.width) *
                                                   static_cast<std::size_t>(shot.height) * 3) {
    errno = 0;
    throw failure("import took no screenshot: " + result.err);
  }
  return shot;
}
