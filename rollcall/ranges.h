// The number and seat ranges: checking what the teacher types into the two range boxes,
// the entries of the manual-call list, and what a manual call shows. No widget in here.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velquor::rollcall {

// The 16-bit counts and values of the roll call.
constexpr int kIntegerMin = -32768;
constexpr int kIntegerMax = 32767;

// True when the whole text, blanks around it aside, is one decimal number: optional sign,
// digits with an optional point, an optional exponent ("12", " -3.5 ", "1e2"; not "12号",
// "1 2" or "").
bool isNumberText(std::string_view text);

struct AcceptedRange {
  int low = 0;    // lowest number, or the row count
  int high = 0;   // highest number, or the column count
  int count = 0;  // candidates: high - low + 1 numbers, or low x high seats; 0 for the name list
};

// The check of the two range boxes after box `box` (0 or 1) lost the focus, in
// `category`. Refused (empty) when the text of that box is not a number, when the highest
// number (column count) does not exceed the lowest (row count), when a rounded value or
// the candidate count does not fit the 16-bit counts, or when a seat layout has no rows.
// Otherwise both values are rounded halves to even.
std::optional<AcceptedRange> acceptRange(std::string_view lowText, std::string_view highText, int box,
                                         int category);

// The entries of the manual-call list for an accepted range: "12号" for numbers,
// "3行5列" for seats, row by row.
std::vector<std::string> rangeEntryTexts(int category, int low, int high);

// What the name label shows for a manual call of `entry`: the number the entry begins
// with ("12号" shows "12"), or the seat split at 行 over two lines ("3行" CR LF "5列").
// Empty in the name-list category or for a seat entry without 行.
std::optional<std::string> manualCallCaption(int category, std::string_view entry);

}  // namespace velquor::rollcall
