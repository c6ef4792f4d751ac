// Runs of the dwzliste program itself, each in a fresh directory of its own: what it writes,
// what it reports, and what it leaves behind when it cannot finish.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "conversion_run.h"
#include "test_files.h"
#include "windows_build.h"

namespace {

constexpr std::string_view kNoPlayerFile =
    "dwzliste: cannot open Spieler.sql: No such file or directory\n";

// ---------------------------------------------------------------------------------------------
// Successful runs

TEST_F(ConversionRun, WritesOneListLinePerPlayerLineAndSaysNothing) {
  writeFile(clubFile(), clubStatement("12345", "Club Name") +
                            clubStatement("23456", "\xD6lberg Gro\xDFmarkt") +
                            clubStatement("34567", "SK \"Turm\" Dortmund"));
  writeFile(playerFile(),
            playerStatement("\"12345\",\"42\",\"Player,Name\",null,1600") +
                playerStatement("\"54321\",\"7\",\"Nobody,Knows\",null,1500") +
                playerStatement("\"23456\",\"3\",\"K\xE4\xDFler,J\xFCrgen\",\"M\",null") +
                playerStatement("\"12345\",\"43\",\"Last,One\",\"W\",2100") +
                playerStatement("\"34567\",\"5\",\"Rook,Rita\",\"W\",1800"));

  const RunResult run = runProgram();

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(readFile(listFile()),
            "\"12345\",\"42\",\"Player,Name\", \"\" ,1600,\"Club Name\"\r\n"
            "\"54321\",\"7\",\"Nobody,Knows\", \"\" ,1500,\"\"\r\n"
            "\"23456\",\"3\",\"K\x84\xE1ler,J\x81rgen\",\"M\", \"\" ,\"\x99lberg Gro\xE1markt\"\r\n"
            "\"12345\",\"43\",\"Last,One\",\"W\",2100,\"Club Name\"\r\n"
            "\"34567\",\"5\",\"Rook,Rita\",\"W\",1800,\"SK 'Turm' Dortmund\"\r\n");
  expectListing(work(), kInputsAndList);
}

TEST_F(ConversionRun, GivesAnEmptyListForAnEmptyPlayerFile) {
  writeFile(clubFile(), clubStatement("12345", "Club Name"));
  writeFile(playerFile(), "");
  writeFile(listFile(), "an earlier list\r\n");

  const RunResult run = runProgram();

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(readFile(listFile()), "");
  expectListing(work(), kInputsAndList);
}

TEST_F(ConversionRun, ConvertsALargeDumpCompletely) {
  const Dump dump = generatedDump(20000, 300);
  writeInputs(dump);

  const RunResult run = runProgram();

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
  expectSameList(readFile(listFile()), dump.list);
  expectListing(work(), kInputsAndList);
}

TEST_F(ConversionRun, ReplacesAnEarlierListInsteadOfAppending) {
  const Dump dump = generatedDump(50, 10);
  writeInputs(dump);
  writeFile(listFile(), std::string(3 * dump.list.size(), 'x') + "\r\n");

  const RunResult run = runProgram();

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(readFile(listFile()), dump.list);
  expectListing(work(), kInputsAndList);
}

TEST_F(ConversionRun, GivesTheSameBytesWhenRunTwice) {
  const Dump dump = generatedDump(500, 20);
  writeInputs(dump);

  const RunResult first = runProgram();
  const std::string firstList = readFile(listFile());
  const RunResult second = runProgram();

  EXPECT_EQ(first.status, 0);
  EXPECT_EQ(second.status, 0);
  EXPECT_EQ(second.err, "");
  EXPECT_EQ(firstList, dump.list);
  EXPECT_EQ(readFile(listFile()), firstList);
  expectListing(work(), kInputsAndList);
}

TEST_F(ConversionRun, TurnsTheBundledExampleIntoTheExpectedList) {
  const fs::path examples = DWZLISTE_EXAMPLES;
  for (const char* name : {"Spieler.sql", "Vereine.sql", "expected-DWZ.liste"}) {
    ASSERT_TRUE(fs::is_regular_file(examples / name)) << "missing " << examples / name;
  }
  fs::copy_file(examples / "Spieler.sql", playerFile());
  fs::copy_file(examples / "Vereine.sql", clubFile());

  const RunResult run = runProgram();

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
  expectSameList(readFile(listFile()), readFile(examples / "expected-DWZ.liste"));
  expectListing(work(), kInputsAndList);
}

// ---------------------------------------------------------------------------------------------
// Permissions of the list

TEST_F(ConversionRun, KeepsThePermissionsOfTheListItReplaces) {
  const Dump dump = generatedDump(10, 3);
  writeInputs(dump);
  for (const mode_t mode : {0640, 0604, 0600, 0444, 0666}) {
    SCOPED_TRACE(testing::Message() << "earlier list with mode 0" << std::oct << mode);
    fs::remove(listFile());  // the one before may be read-only
    writeFile(listFile(), "an earlier list\r\n");
    setMode(listFile(), mode);

    // a umask that would give other permissions to a new file
    const RunResult run = runProgram({.umask = 077});

    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(modeOf(listFile()), mode);
    EXPECT_EQ(readFile(listFile()), dump.list);
  }
}

TEST_F(ConversionRun, GivesANewListThePermissionsTheUmaskAllows) {
  writeInputs(generatedDump(10, 3));
  const struct {
    mode_t umask, expected;
  } cases[] = {{027, 0640}, {022, 0644}, {077, 0600}, {0, 0666}, {0222, 0444}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "umask 0" << std::oct << c.umask);
    fs::remove(listFile());

    const RunResult run = runProgram({.umask = c.umask});

    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(modeOf(listFile()), c.expected);
  }
}

// ---------------------------------------------------------------------------------------------
// A list behind symbolic links: the links stay, the file they lead to gets the list

struct LinkCase {
  const char* name;
  struct Link {
    const char* path;    // relative to the test's root directory
    const char* target;  // as stored in the link; "@root" stands for the root directory
  };
  std::vector<Link> links;
  const char* listPath;  // the file the links lead to, relative to the root directory
  bool listExists;
};

// Every table of cases below prints as the name of its case.
template <typename Case>
requires requires(const Case& c) { c.name; }
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class ListBehindLinks : public ConversionRun, public testing::WithParamInterface<LinkCase> {
 protected:
  std::string targetText(std::string_view stored) const {
    constexpr std::string_view kRoot = "@root";
    if (stored.substr(0, kRoot.size()) != kRoot) return std::string(stored);
    return root().string() + std::string(stored.substr(kRoot.size()));
  }
};

TEST_P(ListBehindLinks, WritesTheLinkedFileAndKeepsTheLinks) {
  const LinkCase& c = GetParam();
  const Dump dump = generatedDump(300, 12);
  writeInputs(dump);
  fs::create_directories(work() / "out");
  fs::create_directories(root() / "elsewhere");
  const fs::path list = root() / c.listPath;
  if (c.listExists) {
    writeFile(list, "an earlier list\r\n");
    setMode(list, 0604);
  }
  for (const LinkCase::Link& link : c.links) {
    fs::create_symlink(targetText(link.target), root() / link.path);
  }
  const std::vector<fs::path> directories = {work(), work() / "out", root() / "elsewhere"};
  std::map<fs::path, std::set<std::string>> expectedListings;
  for (const fs::path& directory : directories) {
    expectedListings[directory] = listDirectory(directory);
  }
  expectedListings[list.parent_path()].insert(list.filename().string());

  const RunResult run = runProgram({.umask = 022});

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  for (const LinkCase::Link& link : c.links) {
    const fs::path path = root() / link.path;
    ASSERT_TRUE(fs::is_symlink(path)) << path << " is no longer a link";
    EXPECT_EQ(fs::read_symlink(path).string(), targetText(link.target));
  }
  ASSERT_TRUE(fs::is_regular_file(fs::symlink_status(list)));
  EXPECT_EQ(readFile(list), dump.list);
  EXPECT_EQ(readFile(listFile()), dump.list);
  EXPECT_EQ(modeOf(list), c.listExists ? 0604 : 0644);
  for (const fs::path& directory : directories) {
    expectListing(directory, expectedListings[directory]);
  }
}

INSTANTIATE_TEST_SUITE_P(
    ConversionRun, ListBehindLinks,
    testing::Values(LinkCase{"IntoASubdirectory",
                             {{"work/DWZ.liste", "out/real.liste"}},
                             "work/out/real.liste",
                             true},
                    LinkCase{"IntoAnotherDirectory",
                             {{"work/DWZ.liste", "../elsewhere/real.liste"}},
                             "elsewhere/real.liste",
                             true},
                    LinkCase{"ByAbsolutePath",
                             {{"work/DWZ.liste", "@root/elsewhere/real.liste"}},
                             "elsewhere/real.liste",
                             true},
                    LinkCase{"ThroughAChainOfLinks",
                             {{"work/DWZ.liste", "out/hop.liste"},
                              {"work/out/hop.liste", "../../elsewhere/real.liste"}},
                             "elsewhere/real.liste",
                             true},
                    LinkCase{"ToAFileNotYetThere",
                             {{"work/DWZ.liste", "../elsewhere/real.liste"}},
                             "elsewhere/real.liste",
                             false}),
    [](const testing::TestParamInfo<LinkCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Without a usable Spieler.sql: no list is written and the earlier one stays

struct PlayerFileCase {
  const char* name;
  bool playerFileIsDirectory;  // else it is missing
  bool clubFileThere;
  bool earlierList;
  std::string_view expectedError;
};

class ConversionWithoutPlayerFile : public ConversionRun,
                                    public testing::WithParamInterface<PlayerFileCase> {};

TEST_P(ConversionWithoutPlayerFile, FailsAndLeavesTheDirectoryAsItWas) {
  const PlayerFileCase& c = GetParam();
  if (c.playerFileIsDirectory) fs::create_directory(playerFile());
  if (c.clubFileThere) writeFile(clubFile(), clubStatement("12345", "Club Name"));
  if (c.earlierList) writeFile(listFile(), "\"12345\",\"1\",\"Earlier,List\",2000,\"\"\r\n");
  const std::set<std::string> before = listDirectory(work());
  const std::optional<FileState> earlier =
      c.earlierList ? std::optional(stateOf(listFile())) : std::nullopt;

  const RunResult run = runProgram();

  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, c.expectedError);
  if (earlier) {
    expectUnchanged(listFile(), *earlier);
  } else {
    EXPECT_FALSE(fs::exists(fs::symlink_status(listFile())));
  }
  expectListing(work(), before);
}

INSTANTIATE_TEST_SUITE_P(
    ConversionRun, ConversionWithoutPlayerFile,
    testing::Values(
        PlayerFileCase{"MissingWithEarlierList", false, true, true, kNoPlayerFile},
        PlayerFileCase{"MissingWithoutEarlierList", false, true, false, kNoPlayerFile},
        PlayerFileCase{"BothInputsMissingWithEarlierList", false, false, true, kNoPlayerFile},
        PlayerFileCase{"BothInputsMissingWithoutEarlierList", false, false, false, kNoPlayerFile},
        PlayerFileCase{"DirectoryWithEarlierList", true, true, true,
                       "dwzliste: cannot open Spieler.sql: Is a directory\n"},
        PlayerFileCase{"DirectoryWithoutEarlierList", true, false, false,
                       "dwzliste: cannot open Spieler.sql: Is a directory\n"}),
    [](const testing::TestParamInfo<PlayerFileCase>& info) {
      return std::string(info.param.name);
    });

// ---------------------------------------------------------------------------------------------
// Without a usable Vereine.sql: the list is written, without club names, and one line says so

enum class ClubFileTrouble { kMissing, kDirectory, kUnreadable };

struct ClubFileCase {
  const char* name;
  ClubFileTrouble trouble;
  std::string_view expectedError;
};

class ConversionWithoutClubFile : public ConversionRun,
                                  public testing::WithParamInterface<ClubFileCase> {};

TEST_P(ConversionWithoutClubFile, WritesTheListWithoutClubNames) {
  const ClubFileCase& c = GetParam();
  const Dump dump = generatedDump(200, 10);
  writeFile(playerFile(), dump.players);
  switch (c.trouble) {
    case ClubFileTrouble::kMissing:
      break;
    case ClubFileTrouble::kDirectory:
      fs::create_directory(clubFile());
      break;
    case ClubFileTrouble::kUnreadable:
      writeFile(clubFile(), dump.clubs);
      setMode(clubFile(), 0);
      setMode(playerFile(), 0644);
      setMode(work(), 0777);  // the unprivileged run must still write the list
      break;
  }
  writeFile(listFile(), dump.list);  // an earlier list with the club names

  const RunResult run = runProgram({.unprivileged = c.trouble == ClubFileTrouble::kUnreadable});

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, c.expectedError);
  EXPECT_EQ(readFile(listFile()), dump.listWithoutClubs);
  expectListing(work(), c.trouble == ClubFileTrouble::kMissing
                            ? std::set<std::string>{"DWZ.liste", "Spieler.sql"}
                            : kInputsAndList);
}

INSTANTIATE_TEST_SUITE_P(
    ConversionRun, ConversionWithoutClubFile,
    testing::Values(ClubFileCase{"Missing", ClubFileTrouble::kMissing,
                                 "dwzliste: cannot open Vereine.sql: No such file or directory; "
                                 "the list has no club names\n"},
                    ClubFileCase{"Directory", ClubFileTrouble::kDirectory,
                                 "dwzliste: cannot open Vereine.sql: Is a directory; the list has "
                                 "no club names\n"},
                    ClubFileCase{"Unreadable", ClubFileTrouble::kUnreadable,
                                 "dwzliste: cannot open Vereine.sql: Permission denied; the list "
                                 "has no club names\n"}),
    [](const testing::TestParamInfo<ClubFileCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// When the list cannot be written: the earlier list stays as it was, no temporary file stays

struct WriteFailureCase {
  const char* name;
  bool listBehindLink;  // DWZ.liste links to ../elsewhere/real.liste
  bool lockDirectory;   // the list's directory is not writable for the run
  std::optional<rlim_t> fileSizeLimit;
  std::string_view expectedError;
};

class ConversionThatCannotWriteTheList : public ConversionRun,
                                         public testing::WithParamInterface<WriteFailureCase> {};

TEST_P(ConversionThatCannotWriteTheList, FailsAndKeepsTheEarlierList) {
  const WriteFailureCase& c = GetParam();
  // a few hundred KB of list, far more than the file-size limit
  const Dump dump = generatedDump(5000, 50);
  writeInputs(dump);
  fs::create_directories(root() / "elsewhere");
  const fs::path list = c.listBehindLink ? root() / "elsewhere" / "real.liste" : listFile();
  writeFile(list, "\"12345\",\"1\",\"Earlier,List\",2000,\"\"\r\n");
  setMode(list, 0640);
  if (c.listBehindLink) fs::create_symlink("../elsewhere/real.liste", listFile());
  const FileState earlier = stateOf(list);
  const std::set<std::string> workBefore = listDirectory(work());
  const std::set<std::string> elsewhereBefore = listDirectory(root() / "elsewhere");
  if (c.lockDirectory) {
    setMode(playerFile(), 0644);
    setMode(clubFile(), 0644);
    setMode(list.parent_path(), 0555);
    // with the link, only the linked directory is locked: the list must not go beside the link
    if (c.listBehindLink) setMode(work(), 0777);
  }

  const RunResult run =
      runProgram({.fileSizeLimit = c.fileSizeLimit, .unprivileged = c.lockDirectory});

  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, c.expectedError);
  expectUnchanged(list, earlier);
  if (c.listBehindLink) {
    ASSERT_TRUE(fs::is_symlink(listFile()));
    EXPECT_EQ(fs::read_symlink(listFile()).string(), "../elsewhere/real.liste");
  }
  expectListing(work(), workBefore);
  expectListing(root() / "elsewhere", elsewhereBefore);
}

constexpr std::string_view kCannotCreate = "dwzliste: cannot create DWZ.liste: Permission denied\n";
constexpr std::string_view kTooLarge = "dwzliste: cannot write DWZ.liste: File too large\n";

INSTANTIATE_TEST_SUITE_P(
    ConversionRun, ConversionThatCannotWriteTheList,
    testing::Values(
        WriteFailureCase{"DirectoryNotWritable", false, true, std::nullopt, kCannotCreate},
        WriteFailureCase{"LinkedDirectoryNotWritable", true, true, std::nullopt, kCannotCreate},
        WriteFailureCase{"FileSizeLimitReached", false, false, 4096, kTooLarge},
        WriteFailureCase{"FileSizeLimitReachedBehindLink", true, false, 4096, kTooLarge}),
    [](const testing::TestParamInfo<WriteFailureCase>& info) {
      return std::string(info.param.name);
    });

TEST_F(ConversionRun, FailsWhenTheListNameIsADirectoryAndLeavesItAlone) {
  writeInputs(generatedDump(100, 5));
  fs::create_directory(listFile());
  writeFile(listFile() / "inside.txt", "kept\n");

  const RunResult run = runProgram();

  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "dwzliste: cannot create DWZ.liste: Is a directory\n");
  ASSERT_TRUE(fs::is_directory(fs::symlink_status(listFile())));
  expectListing(listFile(), {"inside.txt"});
  EXPECT_EQ(readFile(listFile() / "inside.txt"), "kept\n");
  expectListing(work(), kInputsAndList);
}

// ---------------------------------------------------------------------------------------------
// One list, two platforms: dwzliste.exe under Wine leaves the same files as this build's
// program, byte for byte, and ends with the same status

// Every entry under a directory: a file as its bytes, a directory, a link as its target.
std::map<std::string, std::string> snapshotOf(const fs::path& directory) {
  std::map<std::string, std::string> entries;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(directory)) {
    const std::string name = fs::relative(entry.path(), directory).string();
    if (entry.is_symlink()) {
      entries[name] = "link to " + fs::read_symlink(entry.path()).string();
    } else if (entry.is_directory()) {
      entries[name] = "directory";
    } else {
      entries[name] = readFile(entry.path());
    }
  }
  return entries;
}

void writeExample(const fs::path& work) {
  for (const char* name : {"Spieler.sql", "Vereine.sql"}) {
    fs::copy_file(fs::path(DWZLISTE_EXAMPLES) / name, work / name);
  }
}

void writeGeneratedDump(const fs::path& work) {
  const Dump dump = generatedDump(20000, 300);
  writeFile(work / "Spieler.sql", dump.players);
  writeFile(work / "Vereine.sql", dump.clubs);
}

// Every byte but LF and 0x1A, which end a line and the input, in a player's values and in club
// names: the code-page conversion of the whole line, zero bytes included.
void writeEveryByte(const fs::path& work) {
  std::string bytes;
  for (int byte = 0; byte < 256; ++byte) {
    if (byte != '\n' && byte != 0x1A) bytes += static_cast<char>(byte);
  }
  std::string clubs;
  for (std::size_t at = 0; at < bytes.size(); at += 32) {
    clubs += clubStatement(std::to_string(10000 + at), bytes.substr(at, 32));
  }
  std::string players;
  for (std::size_t at = 0; at < bytes.size(); at += 32) {
    players += playerStatement("\"" + std::to_string(10000 + at) + "\",\"" + bytes + "\",null");
  }
  writeFile(work / "Vereine.sql", clubs);
  writeFile(work / "Spieler.sql", players);
}

void writeOddLineEnds(const fs::path& work) {
  writeFile(work / "Vereine.sql", clubStatement("12345", "Club\rName") + "\r\r\n" +
                                      clubStatement("23456", "Other") + "\x1A" +
                                      clubStatement("34567", "After the end"));
  writeFile(work / "Spieler.sql",
            "REPLACE INTO `dwz_spieler` VALUES (\"12345\",\"1\");\r\n\n"
            "\r\r\n\"23456\",null\r\"34567\"\r");
}

void writeEmptyPlayerFile(const fs::path& work) {
  writeFile(work / "Spieler.sql", "");
  writeFile(work / "Vereine.sql", clubStatement("12345", "Club Name"));
  writeFile(work / "DWZ.liste", "an earlier list\r\n");
}

void writeEarlierLongerList(const fs::path& work) {
  const Dump dump = generatedDump(50, 10);
  writeFile(work / "Spieler.sql", dump.players);
  writeFile(work / "Vereine.sql", dump.clubs);
  writeFile(work / "DWZ.liste", std::string(3 * dump.list.size(), 'x') + "\r\n");
}

void writeWithoutClubFile(const fs::path& work) {
  writeFile(work / "Spieler.sql", generatedDump(200, 10).players);
}

void writeClubFileAsDirectory(const fs::path& work) {
  writeWithoutClubFile(work);
  fs::create_directory(work / "Vereine.sql");
}

void writeWithoutPlayerFile(const fs::path& work) {
  writeFile(work / "Vereine.sql", clubStatement("12345", "Club Name"));
  writeFile(work / "DWZ.liste", "\"12345\",\"1\",\"Earlier,List\",2000,\"\"\r\n");
}

void writePlayerFileAsDirectory(const fs::path& work) {
  writeWithoutPlayerFile(work);
  fs::create_directory(work / "Spieler.sql");
}

void writeListAsDirectory(const fs::path& work) {
  writeGeneratedDump(work);
  fs::create_directory(work / "DWZ.liste");
  writeFile(work / "DWZ.liste" / "inside.txt", "kept\n");
}

void writeListBehindLink(const fs::path& work) {
  const Dump dump = generatedDump(300, 12);
  writeFile(work / "Spieler.sql", dump.players);
  writeFile(work / "Vereine.sql", dump.clubs);
  fs::create_directory(work / "out");
  writeFile(work / "out" / "real.liste", "an earlier list\r\n");
  fs::create_symlink("out/real.liste", work / "DWZ.liste");
}

struct TwoPlatformCase {
  const char* name;
  void (*prepare)(const fs::path& work);
  int status;
};

class OneListTwoPlatforms : public ConversionRun,
                            public testing::WithParamInterface<TwoPlatformCase> {
 protected:
  // Runs the program in a work directory prepared afresh; returns what it left there.
  std::map<std::string, std::string> runOn(bool onWindows, int& status) {
    fs::remove_all(work());
    fs::create_directory(work());
    GetParam().prepare(work());
    status = runProgram({.onWindows = onWindows}).status;
    return snapshotOf(work());
  }
};

TEST_P(OneListTwoPlatforms, LeaveTheSameFilesAndStatus) {
  REQUIRE_OR_SKIP(whyNoWindowsBuild());
  int linuxStatus = -1, windowsStatus = -1;
  const auto onLinux = runOn(false, linuxStatus);
  const auto onWindows = runOn(true, windowsStatus);

  EXPECT_EQ(linuxStatus, GetParam().status);
  EXPECT_EQ(windowsStatus, linuxStatus);
  for (const auto& [name, contents] : onLinux) {
    const auto found = onWindows.find(name);
    if (found == onWindows.end()) {
      ADD_FAILURE() << name << " is missing on Windows";
    } else if (found->second != contents) {
      SCOPED_TRACE(name + " differs");
      expectSameList(found->second, contents);
    }
  }
  for (const auto& [name, contents] : onWindows) {
    EXPECT_TRUE(onLinux.contains(name)) << name << " is left on Windows only";
  }
}

INSTANTIATE_TEST_SUITE_P(
    ConversionRun, OneListTwoPlatforms,
    testing::Values(TwoPlatformCase{"BundledExample", writeExample, 0},
                    TwoPlatformCase{"GeneratedDump", writeGeneratedDump, 0},
                    TwoPlatformCase{"EveryByte", writeEveryByte, 0},
                    TwoPlatformCase{"OddLineEnds", writeOddLineEnds, 0},
                    TwoPlatformCase{"EmptyPlayerFile", writeEmptyPlayerFile, 0},
                    TwoPlatformCase{"EarlierLongerList", writeEarlierLongerList, 0},
                    TwoPlatformCase{"NoClubFile", writeWithoutClubFile, 0},
                    TwoPlatformCase{"ClubFileIsADirectory", writeClubFileAsDirectory, 0},
                    TwoPlatformCase{"NoPlayerFile", writeWithoutPlayerFile, 1},
                    TwoPlatformCase{"PlayerFileIsADirectory", writePlayerFileAsDirectory, 1},
                    TwoPlatformCase{"ListIsADirectory", writeListAsDirectory, 1},
                    TwoPlatformCase{"ListBehindALink", writeListBehindLink, 0}),
    [](const testing::TestParamInfo<TwoPlatformCase>& info) {
      return std::string(info.param.name);
    });

}  // namespace
