// The cross-built Windows programs, run under Wine.
#include "windows_build.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

extern char** environ;

namespace {

constexpr const char* kWine = "/usr/lib/wine/wine64";
constexpr const char* kWineServer = "/usr/lib/wine/wineserver";

}  // namespace

std::string windowsBuildDirectory() { return DWZLISTE_WINDOWS_BUILD; }

bool onCi() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::string(ci) == "true";
}

std::string whyNoWindowsBuild() {
  if (windowsBuildDirectory().empty()) {
    return "no Windows build: configure with -DDWZLISTE_WINDOWS_BUILD=<its build directory> "
           "(tools/test does)";
  }
  if (!std::filesystem::exists(windowsBuildDirectory() + "/dwzliste.exe")) {
    return "no dwzliste.exe in " + windowsBuildDirectory();
  }
  if (access(kWine, X_OK) != 0) return std::string("no Wine: ") + kWine + " is missing";
  if (std::getenv("WINEPREFIX") == nullptr) return "WINEPREFIX is not set to a booted prefix";
  return {};
}

std::vector<std::string> underWine(const std::string& program,
                                   const std::vector<std::string>& arguments) {
  // Wine takes its code pages from the locale; without it the OEM code page would be 437.
  setenv("LC_ALL", "de_DE.UTF-8", 1);
  setenv("WINEDEBUG", "-all", 1);
  const bool absolute = !program.empty() && program.front() == '/';
  std::vector<std::string> command = {kWine,
                                      absolute ? program : windowsBuildDirectory() + "/" + program};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return command;
}

void waitForWineSessionEnd() { runCommand({kWineServer, "-w"}); }

int runCommand(const std::vector<std::string>& command) {
  std::vector<char*> argv;
  for (const std::string& argument : command) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t child;
  if (posix_spawn(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
