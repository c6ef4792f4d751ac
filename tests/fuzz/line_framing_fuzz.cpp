// Line framing: the lines read from any bytes, delivered whole or in pieces, against the plain
// text-mode reading. The first byte says how the file arrives, the second after which line
// the abort query answers yes (0: never); the rest is the file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "lines/line_file.h"
#include "memory_file_system.h"
#include "reference_conversion.h"

namespace {

unsigned questions = 0;
unsigned yesAt = 0;
bool abortAtQuestion() { return ++questions == yesAt; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input = fuzz::bytesOf(data, size);
  const memory_files::InputShape shape = fuzz::shapeOf(fuzz::takeByte(input));
  yesAt = fuzz::takeByte(input);
  questions = 0;
  memory_files::reset();
  memory_files::putInput("in.sql", input, shape);

  LineTable table;
  const ReadResult read = readLineFile("in.sql", table, abortAtQuestion);
  fuzz::failUnless(!read.error, "reading failed");

  std::vector<std::string> expected = reference::readLines(std::string(input));
  const bool aborted = yesAt != 0 && yesAt <= expected.size();
  fuzz::failUnless(questions == (aborted ? yesAt : expected.size()),
                   "the abort query was not asked once after every line");
  if (aborted) expected.resize(yesAt - 1);
  fuzz::failUnless(read.count == expected.size(), "another number of lines");
  for (std::size_t i = 1; i <= read.count; ++i) {
    fuzz::failOnDifference("line", table.line(i), expected[i - 1]);
  }
  return 0;
}
