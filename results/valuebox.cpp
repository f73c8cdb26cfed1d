#include "results/valuebox.h"

#include <algorithm>
#include <cmath>

#include "core/numtext.h"

namespace velquor::results {

bool acceptsTypedCharacter(char32_t character) {
  return (character >= U'0' && character <= U'9') || character == U'.' || character == U'-' || character == 8;
}

double boxValue(std::string_view text) {
  const double value = leadingNumber(text);
  if (std::isnan(value)) return 0.0;
  return std::clamp(value, kLowestValue, kHighestValue);
}

std::string normalisedText(std::string_view text) { return plainDecimal(boxValue(text)); }

std::string steppedText(std::string_view text, bool up) {
  const double value = roundHalfEven(boxValue(text));
  return plainDecimal(std::clamp(value + (up ? 1.0 : -1.0), kLowestValue, kHighestValue));
}

}  // namespace velquor::results
