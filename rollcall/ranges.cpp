#include "rollcall/ranges.h"

#include <cmath>

#include "core/numtext.h"
#include "rollcall/pool.h"

namespace velquor::rollcall {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool isNumberText(std::string_view text) {
  std::size_t i = 0;
  std::size_t end = text.size();
  while (i < end && isBlank(text[i])) ++i;
  while (end > i && isBlank(text[end - 1])) --end;
  if (i < end && (text[i] == '+' || text[i] == '-')) ++i;
  bool digits = false;
  while (i < end && isDigit(text[i])) ++i, digits = true;
  if (i < end && text[i] == '.') {
    ++i;
    while (i < end && isDigit(text[i])) ++i, digits = true;
  }
  if (!digits) return false;
  if (i < end && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < end && (text[i] == '+' || text[i] == '-')) ++i;
    bool exponentDigits = false;
    while (i < end && isDigit(text[i])) ++i, exponentDigits = true;
    if (!exponentDigits) return false;
  }
  return i == end;
}

std::optional<AcceptedRange> acceptRange(std::string_view lowText, std::string_view highText, int box,
                                         int category) {
  const double a = leadingNumber(lowText);
  const double b = leadingNumber(highText);
  if (!isNumberText(box == 0 ? lowText : highText)) return std::nullopt;
  if (!(b > a)) return std::nullopt;  // also refuses a value that is not a number at all
  const auto low = toInteger(a);
  const auto high = toInteger(b);
  if (!low || !high) return std::nullopt;
  AcceptedRange range{*low, *high, 0};
  if (category == kNumber) {
    const long count = static_cast<long>(range.high) - range.low + 1;
    if (count > kIntegerMax) return std::nullopt;
    range.count = static_cast<int>(count);
  } else if (category == kSeat) {
    const long count = static_cast<long>(range.low) * range.high;
    if (range.low < 1 || count > kIntegerMax) return std::nullopt;
    range.count = static_cast<int>(count);
  }
  return range;
}

std::vector<std::string> rangeEntryTexts(int category, int low, int high) {
  std::vector<std::string> texts;
  if (category == kNumber) {
    if (high >= low) texts.reserve(static_cast<std::size_t>(high - low + 1));
    for (int n = low; n <= high; ++n) texts.push_back(std::to_string(n) + "号");
  } else if (category == kSeat) {
    if (low > 0 && high > 0) texts.reserve(static_cast<std::size_t>(low) * static_cast<std::size_t>(high));
    for (int r = 1; r <= low; ++r)
      for (int c = 1; c <= high; ++c) texts.push_back(std::to_string(r) + "行" + std::to_string(c) + "列");
  }
  return texts;
}

std::optional<std::string> manualCallCaption(int category, std::string_view entry) {
  if (category == kNumber) return plainDecimal(leadingNumber(entry));
  if (category != kSeat) return std::nullopt;
  static constexpr std::string_view kRow = "行";
  const auto at = entry.find(kRow);
  if (at == std::string_view::npos) return std::nullopt;
  return std::string(entry.substr(0, at)) + "行\r\n" + std::string(entry.substr(at + kRow.size()));
}

}  // namespace velquor::rollcall
