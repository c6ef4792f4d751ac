// Runs one command and reports its wall time, peak RSS and exit status.

#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

constexpr int kUsageExit = 2;
constexpr int kSetupFailedExit = 126;
constexpr int kExecFailedExit = 127;
constexpr int kSignalExitBase = 128;

struct Options {
  const char* dir = nullptr;
  const char* output = nullptr;
  char** command = nullptr;
};

[[noreturn]] void usage() {
  std::fprintf(stderr,
               "usage: bench_measure [-C dir] [-o file] -- cmd args...\n"
               "prints \"wall_seconds max_rss_kib exit_status\"; -o appends "
               "that line to file instead\n");
  std::exit(kUsageExit);
}

Options parseOptions(int argc, char** argv) {
  Options options;
  int i = 1;
  for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
    if (std::strcmp(argv[i], "-C") == 0 && i + 1 < argc) {
      options.dir = argv[++i];
    } else if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc) {
      options.output = argv[++i];
    } else {
      usage();
    }
  }
  if (i + 1 >= argc) usage();
  options.command = argv + i + 1;
  return options;
}

double monotonicSeconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Only async-signal-safe calls between fork and exec.
[[noreturn]] void runChild(const Options& options) {
  if (options.dir != nullptr && chdir(options.dir) != 0) {
    constexpr char kMessage[] = "bench_measure: cannot chdir\n";
    (void)!write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
    _exit(kSetupFailedExit);
  }
  execvp(options.command[0], options.command);
  constexpr char kMessage[] = "bench_measure: cannot exec\n";
  (void)!write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
  _exit(kExecFailedExit);
}

// Same convention as the shell, so a crash is told apart from exit codes.
int exitStatusOf(int waitStatus) {
  if (WIFSIGNALED(waitStatus)) return kSignalExitBase + WTERMSIG(waitStatus);
  return WEXITSTATUS(waitStatus);
}

void report(const Options& options, double seconds, long maxRssKib, int exitStatus) {
  std::FILE* out = stdout;
  if (options.output != nullptr) {
    out = std::fopen(options.output, "a");
    if (out == nullptr) {
      std::fprintf(stderr, "bench_measure: cannot open %s: %s\n", options.output,
                   std::strerror(errno));
      std::exit(1);
    }
  }
  std::fprintf(out, "%.6f %ld %d\n", seconds, maxRssKib, exitStatus);
  if (std::fclose(out) != 0) {
    std::perror("bench_measure: cannot write result");
    std::exit(1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options options = parseOptions(argc, argv);
  // Flushed now so the child cannot inherit and repeat buffered output.
  std::fflush(nullptr);

  double start = monotonicSeconds();
  pid_t child = fork();
  if (child < 0) {
    std::perror("bench_measure: fork");
    return 1;
  }
  if (child == 0) runChild(options);

  int waitStatus = 0;
  rusage usage{};
  pid_t waited;
  do {
    waited = wait4(child, &waitStatus, 0, &usage);
  } while (waited < 0 && errno == EINTR);
  double seconds = monotonicSeconds() - start;
  if (waited < 0) {
    std::perror("bench_measure: wait4");
    return 1;
  }
  // Linux reports ru_maxrss in KiB.
  report(options, seconds, usage.ru_maxrss, exitStatusOf(waitStatus));
  return 0;
}
