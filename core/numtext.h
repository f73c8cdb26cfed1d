// Reading numbers out of typed or stored text, and the program's Integer rounding.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velquor {

// The decimal number a text begins with: optional sign, digits, optional point and
// digits, optional exponent. Spaces, tabs and line feeds are skipped wherever they
// stand ("1 2" reads 12). Returns 0 when the text does not begin with a number.
double leadingNumber(std::string_view text);

// True when the text begins with a number in the sense of leadingNumber.
bool beginsWithNumber(std::string_view text);

// Rounds to the nearest whole number, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
double roundHalfEven(double value);

// The 16-bit Integer the value rounds to; empty when it lies outside -32768..32767
// (or is not a number).
std::optional<std::int16_t> toInteger(double value);

// A number in plain decimal notation without exponent or trailing zeros:
// 1.5, 7, -3, 0.
std::string plainDecimal(double value);

// Today's column heading: two-digit month, 月, two-digit day ("12月05").
std::string monthDayText(int month, int day);

}  // namespace velquor
