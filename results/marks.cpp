#include "results/marks.h"

#include "core/numtext.h"

namespace velquor::results {

std::optional<std::int16_t> markAfterScore(const Variant& previousMark, std::string_view scoreText) {
  const double previous = roundHalfEven(leadingNumber(previousMark.toText()));
  return toInteger(previous + leadingNumber(scoreText));
}

std::optional<int> markRow(int currentNumber, int studentCount, const Variant& numberInThatRow) {
  if (currentNumber < 1 || currentNumber > studentCount) return std::nullopt;
  const std::optional<double> number = numberInThatRow.toNumber();
  if (!number || *number != currentNumber) return std::nullopt;
  return currentNumber + 2;
}

bool headingNeedsWriting(const std::string& headingShown, const std::string& todayText) {
  return headingShown != todayText;
}

}  // namespace velquor::results
