// Club normalisation: any bytes as one line of Vereine.sql, against the plain steps.
#include <cstddef>
#include <cstdint>
#include <string>

#include "convert/club_record.h"
#include "fuzz_support.h"
#include "reference_conversion.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line = fuzz::bytesOf(data, size);
  std::string record;
  normaliseClubLine(line, record);
  fuzz::failOnDifference("club record", record, reference::normaliseClubLine(std::string(line)));
  return 0;
}
