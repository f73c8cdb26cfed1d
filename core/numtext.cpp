#include "core/numtext.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace velquor {
namespace {

bool isSkipped(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Collects the characters of the leading number, without the skipped blanks, into
// `out`; returns whether at least one mantissa digit was found.
bool scanLeadingNumber(std::string_view text, std::string& out) {
  std::size_t i = 0;
  auto skip = [&] {
    while (i < text.size() && isSkipped(text[i])) ++i;
  };
  skip();
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    out += text[i++];
    skip();
  }
  bool digits = false;
  while (i < text.size() && isDigit(text[i])) {
    out += text[i++];
    digits = true;
    skip();
  }
  if (i < text.size() && text[i] == '.') {
    out += text[i++];
    skip();
    while (i < text.size() && isDigit(text[i])) {
      out += text[i++];
      digits = true;
      skip();
    }
  }
  if (!digits) return false;
  // An exponent counts only when at least one digit follows it.
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::string exponent = "e";
    std::size_t j = i + 1;
    while (j < text.size() && isSkipped(text[j])) ++j;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
      exponent += text[j++];
      while (j < text.size() && isSkipped(text[j])) ++j;
    }
    bool expDigits = false;
    while (j < text.size() && isDigit(text[j])) {
      exponent += text[j++];
      expDigits = true;
      while (j < text.size() && isSkipped(text[j])) ++j;
    }
    if (expDigits) out += exponent;
  }
  return true;
}

}  // namespace

double leadingNumber(std::string_view text) {
  std::string number;
  if (!scanLeadingNumber(text, number)) return 0.0;
  if (number == "." || number == "-." || number == "+.") return 0.0;
  return std::strtod(number.c_str(), nullptr);
}

bool beginsWithNumber(std::string_view text) {
  std::string number;
  return scanLeadingNumber(text, number);
}

double roundHalfEven(double value) {
  if (!std::isfinite(value)) return value;
  double floorValue = std::floor(value);
  double diff = value - floorValue;
  if (diff > 0.5) return floorValue + 1.0;
  if (diff < 0.5) return floorValue;
  return std::fmod(floorValue, 2.0) == 0.0 ? floorValue : floorValue + 1.0;
}

std::optional<std::int16_t> toInteger(double value) {
  double rounded = roundHalfEven(value);
  if (!std::isfinite(rounded) || rounded < -32768.0 || rounded > 32767.0) return std::nullopt;
  return static_cast<std::int16_t>(rounded);
}

std::string plainDecimal(double value) {
  if (!std::isfinite(value)) return "0";
  if (value == 0.0) return "0";  // also turns -0 into 0
  char buffer[400];
  // 15 significant digits, as a double holds them, written without exponent.
  int magnitude = static_cast<int>(std::floor(std::log10(std::fabs(value))));
  int decimals = std::max(0, 14 - magnitude);
  std::snprintf(buffer, sizeof buffer, "%.*f", std::min(decimals, 340), value);
  std::string text = buffer;
  if (text.find('.') != std::string::npos) {
    while (!text.empty() && text.back() == '0') text.pop_back();
    if (!text.empty() && text.back() == '.') text.pop_back();
  }
  if (text == "-0") text = "0";
  return text;
}

std::string monthDayText(int month, int day) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02d", month);
  std::string text = buffer;
  text += "月";
  std::snprintf(buffer, sizeof buffer, "%02d", day);
  return text + buffer;
}

}  // namespace velquor
