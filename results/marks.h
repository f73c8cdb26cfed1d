// The arithmetic of writing a mark: what the student's cell holds after a score is added,
// and whether a cell row really belongs to the current student.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/variant.h"

namespace velquor::results {

// The previous mark (its text's leading number, rounded halves to even; 0 for an empty
// cell or a text without a number) plus the score box's leading number, rounded halves
// to even. Empty when the sum lies outside -32768..32767.
std::optional<std::int16_t> markAfterScore(const Variant& previousMark, std::string_view scoreText);

// The sheet row of the current student's mark: row number + 2, used only when that row
// lies within the class (rows 3 .. studentCount + 2) and its column-A value is exactly
// that number. Empty otherwise, so a mark never lands in a heading row or in another
// student's row.
std::optional<int> markRow(int currentNumber, int studentCount, const Variant& numberInThatRow);

// Whether today's heading must be written: the heading cell, shown as "MM月dd", differs
// from today's text (an empty cell differs).
bool headingNeedsWriting(const std::string& headingShown, const std::string& todayText);

}  // namespace velquor::results
