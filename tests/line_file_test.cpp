// Line framing of the input files and writing of the list file.
#include "lines/line_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "reference_conversion.h"
#include "test_files.h"

namespace {

using namespace std::string_literals;

bool neverAbort() { return false; }

std::vector<std::string> linesOf(const LineTable& table, std::size_t count) {
  std::vector<std::string> lines;
  for (std::size_t i = 1; i <= count; ++i) lines.emplace_back(table.line(i));
  return lines;
}

std::vector<std::string> readBytes(const std::string& bytes) {
  ScratchDirectory dir;
  writeFile(dir / "in.sql", bytes);
  LineTable table;
  const ReadResult result = readLineFile((dir / "in.sql").c_str(), table, neverAbort);
  EXPECT_FALSE(result.error);
  return linesOf(table, result.count);
}

TEST(ReadLineFile, FramesLinesAsATextModeStream) {
  using Lines = std::vector<std::string>;
  struct Case {
    std::string bytes;
    Lines lines;
  } const cases[] = {
      {"a\r\nb", {"a", "b"}},
      {"a\rb\n", {"a\rb"}},  // a lone CR belongs to the line
      {"a\r\r\n", {"a"}},    // CR CR LF ends one line
      {"a\r\r\r\n", {"a\r"}},
      {"a\n\n", {"a", ""}},
      {"a\n\x1A"
       "b\n",
       {"a"}},  // 0x1A ends the input
      {"a\r\x1A", {"a"}},
      {"\x1A", {}},
      {"\n", {""}},
      {"", {}},
      {"a", {"a"}},  // a last line without LF
      {"a\r", {"a"}},
      {"a\r\r", {"a\r"}},
      {"a\n\r", {"a", ""}},
      {"\r\n\r\n", {"", ""}},
      {"a\0b\n\0"s, {"a\0b"s, "\0"s}},         // zero bytes are ordinary bytes
      {"\xEF\xBB\xBFx\n", {"\xEF\xBB\xBFx"}},  // no byte-order mark is recognised
  };
  for (const Case& c : cases)
    EXPECT_EQ(readBytes(c.bytes), c.lines) << testing::PrintToString(c.bytes);
}

TEST(ReadLineFile, ReadsALongLineWholeIntoOneEntry) {
  const std::string longLine(3'000'000, 'x');
  EXPECT_EQ(readBytes("a\n" + longLine + "\r\nb"), (std::vector<std::string>{"a", longLine, "b"}));
}

TEST(ReadLineFile, FramesRandomBytesLikeThePlainReading) {
  std::mt19937 random(20261211);
  const std::string alphabet = "ab\r\n\x1A\0"s;
  for (int round = 0; round < 300; ++round) {
    std::string bytes(random() % 40, ' ');
    for (char& byte : bytes) byte = alphabet[random() % alphabet.size()];
    EXPECT_EQ(readBytes(bytes), reference::readLines(bytes)) << testing::PrintToString(bytes);
  }
}

TEST(ReadLineFile, ReadsAPipeInPiecesOfAnySize) {
  ScratchDirectory dir;
  const std::string fifo = (dir / "pipe.sql").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::string bytes;
  for (int i = 0; i < 20000; ++i)
    bytes += "line " + std::to_string(i) + std::string(i % 97, 'z') + "\r\n";
  bytes += std::string(500'000, 'q');  // longer than any one read
  std::thread writer([&] {
    FILE* out = std::fopen(fifo.c_str(), "wb");
    for (std::size_t at = 0; at < bytes.size(); at += 4093) {
      std::fwrite(bytes.data() + at, 1, std::min<std::size_t>(4093, bytes.size() - at), out);
      std::fflush(out);
    }
    std::fclose(out);
  });
  LineTable table;
  const ReadResult result = readLineFile(fifo.c_str(), table, neverAbort);
  writer.join();
  EXPECT_FALSE(result.error);
  EXPECT_EQ(linesOf(table, result.count), reference::readLines(bytes));
}

// Counts the questions and answers yes to the one numbered `yesAt`.
int questions = 0;
int yesAt = 0;
bool abortAtQuestion() { return ++questions == yesAt; }

TEST(ReadLineFile, StopsWhenTheAbortQueryAnswersYesAndDoesNotCountThatLine) {
  struct Case {
    std::string bytes;
    int yesAt;
    std::vector<std::string> kept;
  } const cases[] = {
      {"a\nb\nc\n", 1, {}},
      {"a\nb\nc\n", 2, {"a"}},
      {"a\nb\nc", 3, {"a", "b"}},  // asked after the last line without LF too
      {"a\nb\nc\n", 4, {"a", "b", "c"}},
  };
  for (const Case& c : cases) {
    ScratchDirectory dir;
    writeFile(dir / "in.sql", c.bytes);
    LineTable table;
    questions = 0;
    yesAt = c.yesAt;
    const ReadResult result = readLineFile((dir / "in.sql").c_str(), table, abortAtQuestion);
    EXPECT_EQ(linesOf(table, result.count), c.kept);
    EXPECT_EQ(questions, std::min<int>(c.yesAt, 3));
  }
}

TEST(ReadLineFile, ReportsAFileThatCannotBeOpened) {
  ScratchDirectory dir;
  LineTable table;
  const ReadResult missing = readLineFile((dir / "none.sql").c_str(), table, neverAbort);
  EXPECT_STREQ(missing.error.step, "open");
  EXPECT_EQ(missing.error.code, ENOENT);
  EXPECT_EQ(missing.count, 0u);
  const ReadResult directory = readLineFile(dir.path().c_str(), table, neverAbort);
  EXPECT_STREQ(directory.error.step, "open");
  EXPECT_EQ(directory.error.code, EISDIR);
}

class OutputFileTest : public testing::Test {
 protected:
  std::string listPath() const { return (dir_ / "DWZ.liste").string(); }
  std::size_t entries() const {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir_.path()),
                                                  std::filesystem::directory_iterator()));
  }
  ScratchDirectory dir_;
};

TEST_F(OutputFileTest, EndsEveryLineWithCrLfAndWritesLongLinesWhole) {
  const std::string longText(3 << 20, 'L');
  OutputFile list;
  ASSERT_FALSE(list.create(listPath().c_str()));
  ASSERT_FALSE(list.writeLine(""));
  ASSERT_FALSE(list.writeLine("ab", ",\"c\""));
  ASSERT_FALSE(list.writeLine(longText, "x"));
  ASSERT_FALSE(list.writeLine("\0z"s));
  ASSERT_FALSE(list.commit());
  EXPECT_EQ(readFile(listPath()), "\r\nab,\"c\"\r\n" + longText + "x\r\n\0z\r\n"s);
  EXPECT_EQ(entries(), 1u);
}

TEST_F(OutputFileTest, LeavesTheEarlierFileAsItWasUntilCommitted) {
  writeFile(listPath(), "old list\r\n");
  {
    OutputFile list;
    ASSERT_FALSE(list.create(listPath().c_str()));
    ASSERT_FALSE(list.writeLine(std::string(2 << 20, 'n')));  // more than the buffer holds
    EXPECT_EQ(readFile(listPath()), "old list\r\n");
  }
  EXPECT_EQ(readFile(listPath()), "old list\r\n");
  EXPECT_EQ(entries(), 1u);  // the temporary file went with the uncommitted list
}

}  // namespace

namespace {

// Maps in.sql, starts a list beside it, cuts the input short and reads the lost bytes.
void readInputThatShrinks(const std::filesystem::path& dir) {
  InputFile input;
  FileMapping mapping;
  if (input.open((dir / "in.sql").c_str()) || input.map(mapping) || mapping.size() == 0) std::_Exit(2);
  ReplacementFile list;
  if (list.create((dir / "DWZ.liste").c_str())) std::_Exit(3);
  if (truncate((dir / "in.sql").c_str(), 0) != 0) std::_Exit(4);
  volatile char last = mapping.data()[mapping.size() - 1];
  (void)last;
  std::_Exit(0);
}

TEST(MappedInput, ThatShrinksWhileReadEndsTheRunWithAMessageAndNoUnfinishedList) {
  testing::FLAGS_gtest_death_test_style = "threadsafe";
  ScratchDirectory dir;
  writeFile(dir / "in.sql", std::string(1 << 20, 'x'));
  writeFile(dir / "DWZ.liste", "old list\r\n");
  EXPECT_EXIT(readInputThatShrinks(dir.path()), testing::ExitedWithCode(1),
              "^dwzliste: cannot read .*in.sql: the file changed or failed while it was read\n$");
  EXPECT_EQ(readFile(dir / "DWZ.liste"), "old list\r\n");
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) ++entries;
  EXPECT_EQ(entries, 2u);  // in.sql and the old list: the temporary file went
}

}  // namespace
