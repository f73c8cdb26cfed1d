// A value as read from the roster or held in a table: empty, text or a number.
#pragma once

#include <optional>
#include <string>

namespace velquor {

struct Variant {
  enum class Kind { Empty, Text, Number };
  Kind kind = Kind::Empty;
  std::string text;  // UTF-8, for Text
  double number = 0.0;

  static Variant fromText(std::string value) { return Variant{Kind::Text, std::move(value), 0.0}; }
  static Variant fromNumber(double value) { return Variant{Kind::Number, {}, value}; }

  bool isEmpty() const { return kind == Kind::Empty; }
  // The value turned into text: numbers in plain decimal, empty as "".
  std::string toText() const;
  // Empty once turned into text and stripped of leading and trailing spaces.
  bool isBlank() const;
  // The number the value stands for: a number, or a text that is a number as a whole
  // (blanks around it allowed). Empty otherwise.
  std::optional<double> toNumber() const;
  // The 16-bit Integer the value stands for: a number rounded halves to even, or a
  // text that is a number as a whole (blanks around it allowed). Empty when the value
  // is not a whole-range number.
  std::optional<int> toInteger() const;

  bool operator==(const Variant&) const = default;
};

}  // namespace velquor
