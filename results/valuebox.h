// The value boxes: the score box and the timer's amount box. Both keep their value as
// text and read it as the leading number of that text. The value is held within the
// Integer range -32768..32767, so a box always holds a number the program can convert.
#pragma once

#include <string>
#include <string_view>

namespace velquor::results {

inline constexpr double kLowestValue = -32768.0;
inline constexpr double kHighestValue = 32767.0;

// Whether a typed character may go into a value box: a digit, ".", "-" or Backspace
// (code 8). The order of the characters is not checked; leaving the box tidies it.
bool acceptsTypedCharacter(char32_t character);

// The value of a box's text: its leading number (0 when there is none), fractions kept,
// held to -32768..32767.
double boxValue(std::string_view text);

// The text a box gets when it loses the focus: its value in plain decimal
// ("1.5.2" -> "1.5", "007" -> "7", "" -> "0", "99999" -> "32767").
std::string normalisedText(std::string_view text);

// The text after a "+" (up) or "-" (down) step: the value rounded halves to even, then
// one up or down, staying within -32768..32767 ("2.5" up -> "3", "3.5" up -> "5").
std::string steppedText(std::string_view text, bool up);

}  // namespace velquor::results
