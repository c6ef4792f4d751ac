// Reduction of club statements to club records.
#include "convert/club_record.h"

#include "text/text_ops.h"

namespace {

constexpr std::string_view kClubPrefix = "REPLACE INTO `dwz_vereine` VALUES (";
constexpr std::string_view kClubStatementEnd = "\");";
constexpr std::string_view kNameOpening = ",\"";
constexpr TextPos kQuotedCodeLength = 7;
constexpr TextPos kBytesBeforeName = 17;  // the quoted code and the two fields after it

}  // namespace

void normaliseClubLine(std::string_view line, std::string& record) {
  std::string_view values = trimTrailingPattern(line, kClubStatementEnd);
  values = trimLeadingPattern(values, kClubPrefix);
  const std::string_view code = leftChars(values, kQuotedCodeLength);
  std::string_view name =
      midChars(values, kBytesBeforeName + 1, textLength(values) - kBytesBeforeName);
  name = trimLeadingPattern(name, kNameOpening);
  // Turning quotes into apostrophes keeps every length, so cutting first gives the same bytes.
  name = leftChars(name, kClubNameLength);

  record.assign(code);
  record += kNameOpening;
  const std::size_t nameAt = record.size();
  record += name;
  record += '"';
  replaceEvery(std::span<char>(record).subspan(nameAt, name.size()), "\"", "'");
}
