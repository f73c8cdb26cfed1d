// The class table and the candidate pool of the roll call, in their two forms, and the
// removal of a called candidate. No widget in here.
#pragma once

#include <optional>
#include <variant>
#include <vector>

#include "core/variant.h"

namespace velquor::rollcall {

// Roll-call categories, as the main window stores them in `rollCategory`.
enum Category : int { kNameList = 0, kNumber = 1, kSeat = 2 };

// One student of a loaded class (the class table's columns 0, 1, 2).
struct StudentRow {
  Variant number;  // column A of the sheet, as read
  Variant name;    // column B
  Variant group;   // the sheet row at load, then the group number
};

// One candidate of a loaded class (the name-list pool's columns 0, 1, 2).
struct NamePoolRow {
  Variant student;   // position in the class table
  Variant number;    // the student's number as read
  Variant sheetRow;  // position + 2
  bool operator==(const NamePoolRow&) const = default;
};

// Row or entry 0 of every table exists and is never a live candidate.
using NameTable = std::vector<StudentRow>;  // a loaded class
using NamePool = std::vector<NamePoolRow>;  // candidates of a loaded class
using RangeTable = std::vector<Variant>;    // numbers, or seat indices 1..rows*columns

// Nothing yet, a loaded class, or an accepted number or seat range.
using StudentTable = std::variant<std::monostate, NameTable, RangeTable>;
using PickPool = std::variant<std::monostate, NamePool, RangeTable>;

// What a removal did.
enum class DropResult {
  Removed,   // one candidate left the pool
  Refilled,  // the pool ran empty and holds every candidate again
  WrongForm  // the pool is not in the form asked for; nothing changed
};

// The rows a removal at `pickPos` from `poolCount` live entries of a table of `size` rows
// touches: rows first..last each take the row after them (none when last < first), then
// row `cleared` is cleared when it lies inside the table.
struct RemovalSpan {
  long first = 0;
  long last = -1;
  long cleared = 0;
};
RemovalSpan removalSpan(long size, int poolCount, int pickPos);

// Takes the entry at `pickPos` out of the pool in its name-list form: the live rows after
// it move down one place, the row the move stopped at is cleared to empty text, and the
// count drops by one. A `pickPos` beyond the live rows takes out the last live row; 0
// takes out row 1. Positions outside the table are never read or written. An emptied
// pool is refilled at once with every student of `students` (up to `studentCount`).
DropResult dropFromNamePool(PickPool& pool, int& poolCount, int pickPos, const StudentTable& students,
                            int studentCount);

// The same for the number/seat form; a refill holds rangeLow.. (number category) or the
// seat indices 1.. (seat category), `studentCount` entries.
DropResult dropFromRangePool(PickPool& pool, int& poolCount, int pickPos, int category, int rangeLow,
                             int studentCount);

// A full name-list pool of every student in list order: row i = (i, number of i, i + 2).
NamePool fullNamePool(const NameTable& students, int studentCount);

// A full number/seat table: entry k = rangeLow + k - 1 (numbers) or k (seats), k = 1..count.
RangeTable fullRangeTable(int category, int rangeLow, int count);

// The live candidate at `pos` (1..poolCount) of a pool in number/seat form, as an Integer;
// empty when there is none or it is not a whole number.
std::optional<int> rangeCandidate(const PickPool& pool, int poolCount, int pos);

// The student number at `pos` of a pool in name-list form, as an Integer; empty when
// there is no such live row or the number is not a 16-bit whole number.
std::optional<int> nameCandidateNumber(const PickPool& pool, int poolCount, int pos);

}  // namespace velquor::rollcall
