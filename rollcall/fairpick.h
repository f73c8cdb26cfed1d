// Least-called-first picks: a random pick that draws only among the candidates of the pool
// called least often within a window of days (this term, or the last N days), ties broken at
// random. The counts come from the call history through a narrow interface. No widget in here.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "rollcall/pool.h"

namespace velquor::store {
class Store;
}

namespace velquor::rollcall {

using Day = std::chrono::sys_days;  // a local calendar day

// The days whose calls count.
struct CallWindow {
  enum class Kind { Term, LastDays };
  Kind kind = Kind::Term;
  std::optional<std::chrono::year_month_day> termStart;  // none: the default term start
  int days = 28;                                         // for LastDays, today included
  bool operator==(const CallWindow&) const = default;
};

// The term a day lies in starts on 1 September or 1 March, whichever came last.
std::chrono::year_month_day defaultTermStart(std::chrono::year_month_day today);

// The first day whose calls count on `today`: the term start (the default one when none is
// set), or today - (days - 1) for the last N days (N at least 1).
Day windowStart(const CallWindow& window, Day today);

// What the call history says of one student within a window.
struct StudentCalls {
  int count = 0;
  std::optional<Day> last;  // the day of the latest call counted
  bool operator==(const StudentCalls&) const = default;
};

// Students are told apart in the history by their number and name as the sheet holds them.
std::string studentKey(const std::string& number, const std::string& name);
using CallsByStudent = std::unordered_map<std::string, StudentCalls>;

// The call history as the rule sees it: per student, the calls of one class (roster file and
// sheet name) made on `from` or later and not taken back.
class CallCounts {
 public:
  virtual ~CallCounts() = default;
  virtual CallsByStudent callsSince(const std::string& roster, const std::string& sheet, Day from) const = 0;
};

// The counts of the program's store (its call history).
class StoreCallCounts : public CallCounts {
 public:
  explicit StoreCallCounts(const store::Store& store) : store_(store) {}
  // Throws store::StoreError when the database cannot be read.
  CallsByStudent callsSince(const std::string& roster, const std::string& sheet, Day from) const override;

 private:
  const store::Store& store_;
};

// "2026-12-05" and back; empty for a text that is no such day.
std::string isoDay(Day day);
std::optional<Day> dayOfIso(const std::string& text);

// The pool position (1..counts.size()) of a least-called-first pick: among the positions
// whose count is the smallest, the one the uniform draw r in [0, 1) falls on, in pool
// order. counts[i] belongs to position i + 1. With every count equal this is the design's
// random position for the same r. Empty for an empty pool.
std::optional<int> leastCalledPosition(double r, const std::vector<int>& counts);

}  // namespace velquor::rollcall

namespace velquor::rollcall {

// A least-called-first pick from the live rows 1..poolCount of a name-list pool, counting
// each candidate's calls in `calls` by its number and name in `students`. Empty when the
// pool has no live row.
std::optional<int> leastCalledPick(double r, const NamePool& pool, int poolCount, const NameTable& students,
                                   const CallsByStudent& calls);

}  // namespace velquor::rollcall
