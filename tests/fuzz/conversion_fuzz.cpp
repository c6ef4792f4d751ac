// The whole run, differential: Spieler.sql and Vereine.sql from one fuzz input, the list that
// runConversion writes against the list of the plain step-by-step conversion, byte for byte.
// The first byte says how each file arrives (low half Spieler.sql, high half Vereine.sql); a
// second byte b from 0xC0 on makes writing fail past (b - 0xC0) x 41 bytes, like a full disk,
// and then the earlier list must stay and one line must say why. Without a file separator
// there is no Vereine.sql.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/run_conversion.h"
#include "fuzz_support.h"
#include "memory_file_system.h"
#include "reference_conversion.h"

namespace {

constexpr std::string_view kEarlierList = "the earlier list\r\n";
constexpr unsigned kFirstFaultByte = 0xC0;
constexpr std::size_t kFaultStep = 41;  // bytes of list per step of the fault byte

struct Run {
  int status;
  std::string messages;
};

// runConversion with what it prints on stderr caught.
Run runCapturingMessages() {
  char* buffer = nullptr;
  std::size_t length = 0;
  FILE* captured = open_memstream(&buffer, &length);
  fuzz::failUnless(captured != nullptr, "open_memstream failed");
  FILE* const realStderr = stderr;
  stderr = captured;
  const int status = runConversion();
  stderr = realStderr;
  std::fclose(captured);
  Run run{status, std::string(buffer, length)};
  std::free(buffer);
  return run;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input = fuzz::bytesOf(data, size);
  const unsigned shapes = fuzz::takeByte(input);
  const unsigned fault = fuzz::takeByte(input);
  const fuzz::FilePair files = fuzz::splitFiles(input);
  const bool clubFileThere = files.separated;

  memory_files::reset();
  memory_files::putInput("Spieler.sql", files.players, fuzz::shapeOf(shapes & 15));
  if (clubFileThere) memory_files::putInput("Vereine.sql", files.clubs, fuzz::shapeOf(shapes >> 4));
  memory_files::putFile("DWZ.liste", kEarlierList);
  const std::string expected =
      reference::convertFiles(std::string(files.players), std::string(files.clubs));
  const bool diskFull =
      fault >= kFirstFaultByte && (fault - kFirstFaultByte) * kFaultStep < expected.size();
  if (diskFull) memory_files::failWritesBeyond((fault - kFirstFaultByte) * kFaultStep);

  const Run run = runCapturingMessages();

  const std::size_t fileCount = clubFileThere ? 3 : 2;
  fuzz::failUnless(memory_files::fileCount() == fileCount, "a temporary file was left");
  const std::string clubWarning =
      clubFileThere ? ""
                    : "dwzliste: cannot open Vereine.sql: No such file or directory; the list has "
                      "no club names\n";
  if (diskFull) {
    fuzz::failUnless(run.status == 1, "a full disk did not fail the run");
    fuzz::failOnDifference(
        "messages", run.messages,
        clubWarning + "dwzliste: cannot write DWZ.liste: No space left on device\n");
    fuzz::failOnDifference("earlier list", memory_files::bytesOf("DWZ.liste"), kEarlierList);
    return 0;
  }
  fuzz::failUnless(run.status == 0, "the run failed");
  fuzz::failOnDifference("messages", run.messages, clubWarning);
  fuzz::failOnDifference("list", memory_files::bytesOf("DWZ.liste"), expected);
  return 0;
}
