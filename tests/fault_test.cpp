// Runs of the dwzliste program under faults made for real: a full or read-only file system, a
// run killed at any moment, inputs that are links, pipes, unreadable or gone.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "conversion_run.h"
#include "test_files.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view kEarlierList = "\"12345\",\"1\",\"Earlier,List\",2000,\"\"\r\n";

bool inContinuousIntegration() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::string_view(ci) == "true";
}

// Where a test cannot mount what it needs, it is skipped and says why. CI runs the tests as
// root, so there a run without root fails instead; a sandbox that refuses even root a mount
// still only skips.
#define SKIP_WITHOUT_MOUNT(reason)                                                    \
  do {                                                                                \
    if (inContinuousIntegration() && geteuid() != 0) FAIL() << "cannot " << (reason); \
    GTEST_SKIP() << "cannot " << (reason) << "; skipped";                             \
  } while (false)

// Moves the test process, once, into a mount namespace of its own, so that no other process
// sees its mounts and they go with the process should a test not end normally. Where that
// cannot be done, mounts are made where everybody sees them, and unmounted all the same.
void keepMountsToThisProcess() {
  static const bool kept =
      unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
  static_cast<void>(kept);
}

// A tmpfs mounted for one test, unmounted at its end.
class TmpfsMount {
 public:
  TmpfsMount(const fs::path& at, const std::string& options) : at_(at) {
    keepMountsToThisProcess();
    if (mount("tmpfs", at.c_str(), "tmpfs", 0, options.c_str()) == 0) {
      mounted_ = true;
    } else {
      failure_ = std::strerror(errno);
    }
  }
  ~TmpfsMount() {
    if (mounted_) umount2(at_.c_str(), MNT_DETACH);
  }
  TmpfsMount(const TmpfsMount&) = delete;
  TmpfsMount& operator=(const TmpfsMount&) = delete;

  bool mounted() const { return mounted_; }
  const std::string& failure() const { return failure_; }
  bool remountReadOnly() {
    return mount(nullptr, at_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
  }

 private:
  fs::path at_;
  bool mounted_ = false;
  std::string failure_;
};

// A run whose work directory, or a directory beside it, can be a file system of its own.
class ConversionOnOwnFileSystem : public ConversionRun {
 protected:
  void TearDown() override {
    mount_.reset();  // before the directory tree is removed
    ConversionRun::TearDown();
  }
  // Mounts a tmpfs at `at`; gives the reason when that cannot be done.
  std::optional<std::string> mountTmpfs(const fs::path& at, const std::string& options) {
    if (geteuid() != 0) return "mount a tmpfs without being root";
    mount_.emplace(at, options);
    if (mount_->mounted()) return std::nullopt;
    return "mount a tmpfs: " + mount_->failure();
  }
  TmpfsMount& mounted() { return *mount_; }

  // Puts the inputs in root/inputs, and links to them in the work directory, so that they take
  // no room there.
  void linkInputs(const Dump& dump) {
    fs::create_directory(root() / "inputs");
    writeFile(root() / "inputs" / "Spieler.sql", dump.players);
    writeFile(root() / "inputs" / "Vereine.sql", dump.clubs);
    fs::create_symlink("../inputs/Spieler.sql", playerFile());
    fs::create_symlink("../inputs/Vereine.sql", clubFile());
  }

 private:
  std::optional<TmpfsMount> mount_;
};

// The run failed, said why in one line, and left the earlier list as it was.
void expectFailedRun(const RunResult& run, std::string_view message, const fs::path& list,
                     const FileState& earlier) {
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, message);
  expectUnchanged(list, earlier);
}

// ---------------------------------------------------------------------------------------------
// A full file system

struct DiskFullCase {
  const char* name;
  const char* mountOptions;
  bool useUpInodes;  // fill the file system with empty files until it takes no more
  std::string_view expectedError;
};

// Creates empty files in directory until the file system has no inode left for another.
void useUpInodes(const fs::path& directory) {
  for (int n = 0;; ++n) {
    const fs::path filler = directory / ("filler-" + std::to_string(n));
    const int fd = open(filler.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
      ASSERT_EQ(errno, ENOSPC) << filler << ": " << std::strerror(errno);
      return;
    }
    close(fd);
  }
}

class ConversionOnAFullDisk : public ConversionOnOwnFileSystem,
                              public testing::WithParamInterface<DiskFullCase> {};

TEST_P(ConversionOnAFullDisk, FailsAndKeepsTheEarlierList) {
  const DiskFullCase& c = GetParam();
  const Dump dump = generatedDump(5000, 50);  // a list of a few hundred KB
  RunOptions options;
  std::string_view expectedError = c.expectedError;
  const std::optional<std::string> trouble = mountTmpfs(work(), c.mountOptions);
  if (trouble) {
    // a file-size limit makes writing fail in the same place
    std::cout << "[   NOTE   ] cannot " << *trouble
              << "; a file-size limit of 4096 bytes stands in for the full disk\n";
    options.fileSizeLimit = 4096;
    expectedError = "dwzliste: cannot write DWZ.liste: File too large\n";
  }
  linkInputs(dump);
  writeFile(listFile(), kEarlierList);
  if (c.useUpInodes && !trouble) useUpInodes(work());
  const FileState earlier = stateOf(listFile());
  const std::set<std::string> before = listDirectory(work());

  const RunResult run = runProgram(options);

  expectFailedRun(run, expectedError, listFile(), earlier);
  expectListing(work(), before);
}

INSTANTIATE_TEST_SUITE_P(
    ConversionRun, ConversionOnAFullDisk,
    testing::Values(DiskFullCase{"NoRoomForTheList", "size=64k,mode=0755", false,
                                 "dwzliste: cannot write DWZ.liste: No space left on device\n"},
                    DiskFullCase{"NoRoomForAnotherFile", "size=4m,nr_inodes=64,mode=0755", true,
                                 "dwzliste: cannot create DWZ.liste: No space left on device\n"}),
    [](const testing::TestParamInfo<DiskFullCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// A read-only file system

TEST_F(ConversionOnOwnFileSystem, FailsOnAReadOnlyFileSystemAndKeepsTheEarlierList) {
  if (const std::optional<std::string> trouble = mountTmpfs(work(), "size=4m,mode=0755")) {
    SKIP_WITHOUT_MOUNT(*trouble);
  }
  writeInputs(generatedDump(100, 5));
  writeFile(listFile(), kEarlierList);
  const FileState earlier = stateOf(listFile());
  ASSERT_TRUE(mounted().remountReadOnly()) << "remount read-only: " << std::strerror(errno);

  const RunResult run = runProgram();

  expectFailedRun(run, "dwzliste: cannot create DWZ.liste: Read-only file system\n", listFile(),
                  earlier);
  expectListing(work(), kInputsAndList);
}

TEST_F(ConversionOnOwnFileSystem, FailsWhenTheLinkedListIsOnAReadOnlyFileSystem) {
  const fs::path elsewhere = root() / "elsewhere";
  fs::create_directory(elsewhere);
  if (const std::optional<std::string> trouble = mountTmpfs(elsewhere, "size=4m,mode=0755")) {
    SKIP_WITHOUT_MOUNT(*trouble);
  }
  writeInputs(generatedDump(100, 5));
  writeFile(elsewhere / "real.liste", kEarlierList);
  fs::create_symlink("../elsewhere/real.liste", listFile());
  const FileState earlier = stateOf(elsewhere / "real.liste");
  ASSERT_TRUE(mounted().remountReadOnly()) << "remount read-only: " << std::strerror(errno);

  const RunResult run = runProgram();

  // the list is not written beside the link instead
  expectFailedRun(run, "dwzliste: cannot create DWZ.liste: Read-only file system\n",
                  elsewhere / "real.liste", earlier);
  EXPECT_TRUE(fs::is_symlink(listFile()));
  expectListing(work(), kInputsAndList);
  expectListing(elsewhere, {"real.liste"});
}

// ---------------------------------------------------------------------------------------------
// Killed at any moment: the list is the earlier one or the whole new one, never a part

// The temporary lists that killed runs leave behind, removed; returns how many held bytes.
int removeTemporaryLists(const fs::path& directory) {
  static const std::regex kTemporaryName(R"(DWZ\.liste\.tmp-[0-9a-f]{16})");
  int withBytes = 0;
  for (const std::string& name : listDirectory(directory)) {
    if (!std::regex_match(name, kTemporaryName)) continue;
    if (fs::file_size(directory / name) > 0) ++withBytes;
    fs::remove(directory / name);
  }
  return withBytes;
}

TEST_F(ConversionRun, LeavesTheEarlierOrTheWholeNewListWhenKilledAtAnyMoment) {
  // two dumps that give different lists, swapped in turn through links
  const Dump dumps[] = {generatedDump(100000, 300), generatedDump(100000, 301)};
  ASSERT_NE(dumps[0].list, dumps[1].list);
  for (int d = 0; d < 2; ++d) {
    const fs::path directory = root() / ("dump" + std::to_string(d));
    fs::create_directory(directory);
    writeFile(directory / "Spieler.sql", dumps[d].players);
    writeFile(directory / "Vereine.sql", dumps[d].clubs);
  }
  const auto useDump = [&](int d) {
    const std::string directory = "../dump" + std::to_string(d) + "/";
    fs::remove(playerFile());
    fs::remove(clubFile());
    fs::create_symlink(directory + "Spieler.sql", playerFile());
    fs::create_symlink(directory + "Vereine.sql", clubFile());
  };

  // how long a whole run takes, from three runs that must each give the whole list
  std::vector<Clock::duration> durations;
  for (int d : {0, 1, 0}) {
    useDump(d);
    const Clock::time_point start = Clock::now();
    const RunResult run = runProgram();
    durations.push_back(Clock::now() - start);
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(readFile(listFile()), dumps[d].list);
  }
  std::sort(durations.begin(), durations.end());
  const Clock::duration wholeRun = durations[1];

  // The kill moments are spread over the whole run and a little past it, so that every phase
  // is hit: reading, converting, writing, flushing, renaming, and after the end. Golden-ratio
  // steps put each moment into one of the largest gaps the earlier ones left, so the moments
  // lie evenly however many kills fit in about 15 seconds (50 at least, 200 at most), which
  // depends on the build's speed. A killed run cannot remove its temporary list; the test
  // removes those.
  constexpr double kSpan = 1.3;  // of a whole run
  constexpr double kGoldenStep = 0.6180339887498949;
  constexpr int kMinKills = 50, kMaxKills = 200;
  constexpr auto kBudget = std::chrono::seconds(15);
  writeFile(listFile(), kEarlierList);
  std::string earlier(kEarlierList);
  int kills = 0, keptEarlier = 0, gotNew = 0, killedWhileWriting = 0;
  double moment = 0.5;
  for (const Clock::time_point start = Clock::now();
       kills < kMaxKills && (kills < kMinKills || Clock::now() - start < kBudget); ++kills) {
    const int d = kills % 2;
    useDump(d);
    moment = std::fmod(moment + kGoldenStep, 1.0);
    const auto delay = std::chrono::duration_cast<Clock::duration>(wholeRun * (kSpan * moment));
    const pid_t child = startProgram();
    ASSERT_GT(child, 0);
    std::this_thread::sleep_for(delay);
    ::kill(child, SIGKILL);
    const RunResult run = finishProgram(child);
    ASSERT_TRUE(run.signal == SIGKILL || run.status == 0)
        << "status " << run.status << ", signal " << run.signal << ": " << run.err;

    const std::string list = readFile(listFile());
    if (list == dumps[d].list) {
      ++gotNew;
    } else {
      ASSERT_EQ(list.size(), earlier.size()) << "kill " << kills << " left a list of neither size";
      ASSERT_TRUE(list == earlier) << "kill " << kills << " left a list that is neither";
      ++keptEarlier;
    }
    earlier = list;
    killedWhileWriting += removeTemporaryLists(work());
    expectListing(work(), kInputsAndList);
  }
  std::cout << "[   NOTE   ] " << kills << " kills over runs of "
            << std::chrono::duration_cast<std::chrono::milliseconds>(wholeRun).count()
            << " ms: " << keptEarlier << " left the earlier list, " << gotNew << " the new one; "
            << killedWhileWriting << " came while the list was written\n";
  EXPECT_GT(keptEarlier, 0);
  EXPECT_GT(gotNew, 0);
  EXPECT_GT(killedWhileWriting, 0);
}

// ---------------------------------------------------------------------------------------------
// Spieler.sql behind a link, unreadable, or a pipe

struct PlayerLinkCase {
  const char* name;
  const char* target;  // relative to the work directory; the test makes what is named "real"
  std::string_view expectedError;  // empty: the list is written
};

class PlayerFileBehindLink : public ConversionRun,
                             public testing::WithParamInterface<PlayerLinkCase> {};

TEST_P(PlayerFileBehindLink, ReadsTheLinkedFileOrFailsNamingTheReason) {
  const PlayerLinkCase& c = GetParam();
  const Dump dump = generatedDump(300, 12);
  fs::create_directory(root() / "elsewhere");
  fs::create_directory(root() / "elsewhere" / "a-directory");
  writeFile(root() / "elsewhere" / "real.sql", dump.players);
  fs::create_symlink("loop-b", root() / "elsewhere" / "loop-a");
  fs::create_symlink("loop-a", root() / "elsewhere" / "loop-b");
  writeFile(clubFile(), dump.clubs);
  fs::create_symlink(c.target, playerFile());
  writeFile(listFile(), kEarlierList);
  const FileState earlier = stateOf(listFile());

  const RunResult run = runProgram();

  if (c.expectedError.empty()) {
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(readFile(listFile()), dump.list);
  } else {
    expectFailedRun(run, c.expectedError, listFile(), earlier);
  }
  EXPECT_EQ(fs::read_symlink(playerFile()), c.target);
  expectListing(work(), kInputsAndList);
}

INSTANTIATE_TEST_SUITE_P(
    ConversionRun, PlayerFileBehindLink,
    testing::Values(
        PlayerLinkCase{"ToAFile", "../elsewhere/real.sql", ""},
        PlayerLinkCase{"ToNothing", "../elsewhere/gone.sql",
                       "dwzliste: cannot open Spieler.sql: No such file or directory\n"},
        PlayerLinkCase{"ToADirectory", "../elsewhere/a-directory",
                       "dwzliste: cannot open Spieler.sql: Is a directory\n"},
        PlayerLinkCase{"InALoop", "../elsewhere/loop-a",
                       "dwzliste: cannot open Spieler.sql: Too many levels of symbolic links\n"}),
    [](const testing::TestParamInfo<PlayerLinkCase>& info) {
      return std::string(info.param.name);
    });

TEST_F(ConversionRun, FailsWhenThePlayerFileIsUnreadableAndKeepsTheEarlierList) {
  writeInputs(generatedDump(100, 5));
  setMode(playerFile(), 0);
  setMode(clubFile(), 0644);
  setMode(work(), 0777);  // only the player file stands in the way of the unprivileged run
  writeFile(listFile(), kEarlierList);
  setMode(listFile(), 0666);
  const FileState earlier = stateOf(listFile());

  const RunResult run = runProgram({.unprivileged = true});

  expectFailedRun(run, "dwzliste: cannot open Spieler.sql: Permission denied\n", listFile(),
                  earlier);
  expectListing(work(), kInputsAndList);
}

// Writes bytes into the pipe at path in small pieces, once the program has opened it; gives up
// when nobody opens it within a few seconds.
void feedPipe(const fs::path& path, std::string_view bytes) {
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
  int fd;
  // without a reader, a non-blocking open for writing fails with ENXIO
  while ((fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) < 0 && errno == ENXIO &&
         Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (fd < 0) {
    ADD_FAILURE() << "nobody opened the pipe: " << std::strerror(errno);
    return;
  }
  fcntl(fd, F_SETFL, 0);
  for (std::size_t at = 0; at < bytes.size();) {
    const ssize_t n = write(fd, bytes.data() + at, std::min<std::size_t>(1021, bytes.size() - at));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ADD_FAILURE() << "writing the pipe: " << std::strerror(errno);
      break;
    }
    at += static_cast<std::size_t>(n);
  }
  close(fd);
}

TEST_F(ConversionRun, ReadsThePlayerFileFromAPipe) {
  for (const int players : {2000, 0}) {
    SCOPED_TRACE(testing::Message() << players << " players through the pipe");
    const Dump dump = generatedDump(players, 20);
    fs::remove(playerFile());
    ASSERT_EQ(mkfifo(playerFile().c_str(), 0644), 0) << std::strerror(errno);
    writeFile(clubFile(), dump.clubs);
    writeFile(listFile(), kEarlierList);

    std::thread writer(feedPipe, playerFile(), dump.players);
    const RunResult run = runProgram();
    writer.join();

    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(readFile(listFile()), dump.list);
    expectListing(work(), kInputsAndList);
  }
}

// ---------------------------------------------------------------------------------------------
// Inputs that go away between runs

TEST_F(ConversionRun, KeepsTheLastListWhenThePlayerFileGoesAndDropsClubNamesWhenTheClubFileGoes) {
  const Dump dump = generatedDump(300, 12);
  writeInputs(dump);
  ASSERT_EQ(runProgram().status, 0);
  ASSERT_EQ(readFile(listFile()), dump.list);
  const FileState complete = stateOf(listFile());

  fs::remove(playerFile());
  expectFailedRun(runProgram(), "dwzliste: cannot open Spieler.sql: No such file or directory\n",
                  listFile(), complete);
  expectListing(work(), {"DWZ.liste", "Vereine.sql"});

  writeFile(playerFile(), dump.players);
  fs::remove(clubFile());
  const RunResult withoutClubs = runProgram();
  EXPECT_EQ(withoutClubs.status, 0);
  EXPECT_EQ(withoutClubs.err,
            "dwzliste: cannot open Vereine.sql: No such file or directory; the list has no club "
            "names\n");
  EXPECT_EQ(readFile(listFile()), dump.listWithoutClubs);
  const FileState withoutClubNames = stateOf(listFile());

  fs::remove(playerFile());
  expectFailedRun(runProgram(), "dwzliste: cannot open Spieler.sql: No such file or directory\n",
                  listFile(), withoutClubNames);
  expectListing(work(), {"DWZ.liste"});
}

}  // namespace
