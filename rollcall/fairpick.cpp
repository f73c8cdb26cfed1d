#include "rollcall/fairpick.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "rollcall/picksteps.h"
#include "store/programstore.h"

namespace velquor::rollcall {

using namespace std::chrono;

year_month_day defaultTermStart(year_month_day today) {
  const unsigned month = static_cast<unsigned>(today.month());
  if (month >= 9) return today.year() / September / 1;
  if (month >= 3) return today.year() / March / 1;
  return (today.year() - years(1)) / September / 1;
}

Day windowStart(const CallWindow& window, Day today) {
  if (window.kind == CallWindow::Kind::LastDays) return today - days(std::max(window.days, 1) - 1);
  if (window.termStart && window.termStart->ok()) return sys_days(*window.termStart);
  return sys_days(defaultTermStart(year_month_day(today)));
}

std::string studentKey(const std::string& number, const std::string& name) {
  std::string key;
  key.reserve(number.size() + name.size() + 1);
  key += number;
  key += '\x1f';  // a separator no cell text of a number holds
  key += name;
  return key;
}

std::string isoDay(Day day) {
  const year_month_day ymd(day);
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()),
                static_cast<unsigned>(ymd.day()));
  return text;
}

std::optional<Day> dayOfIso(const std::string& text) {
  int y = 0;
  unsigned m = 0, d = 0;
  if (text.size() < 10 || std::sscanf(text.c_str(), "%4d-%2u-%2u", &y, &m, &d) != 3) return std::nullopt;
  const year_month_day ymd = year{y} / month{m} / d;
  if (!ymd.ok()) return std::nullopt;
  return sys_days(ymd);
}

CallsByStudent StoreCallCounts::callsSince(const std::string& roster, const std::string& sheet, Day from) const {
  CallsByStudent calls;
  for (const store::StudentCalls& s : store_.callsSince(roster, sheet, isoDay(from)))
    calls[studentKey(s.number, s.name)] = StudentCalls{s.calls, dayOfIso(s.lastTime)};
  return calls;
}

std::optional<int> leastCalledPosition(double r, const std::vector<int>& counts) {
  if (counts.empty()) return std::nullopt;
  const int least = *std::min_element(counts.begin(), counts.end());
  const auto ties = static_cast<int>(std::count(counts.begin(), counts.end(), least));
  // The design's random position, over the tied positions only.
  int k = *randomPosition(r, ties) - 1;
  for (std::size_t i = 0; i < counts.size(); ++i) {
    if (counts[i] != least) continue;
    if (k-- == 0) return static_cast<int>(i) + 1;
  }
  return std::nullopt;  // not reached
}

std::optional<int> leastCalledPick(double r, const NamePool& pool, int poolCount, const NameTable& students,
                                   const CallsByStudent& calls) {
  poolCount = std::min(poolCount, static_cast<int>(pool.size()) - 1);
  if (poolCount < 1) return std::nullopt;
  std::vector<int> byPosition(static_cast<std::size_t>(poolCount), 0);
  if (!calls.empty()) {
    for (int p = 1; p <= poolCount; ++p) {
      const auto student = pool[static_cast<std::size_t>(p)].student.toInteger();
      if (!student || *student < 1 || *student >= static_cast<int>(students.size())) continue;
      const StudentRow& row = students[static_cast<std::size_t>(*student)];
      const auto it = calls.find(studentKey(row.number.toText(), row.name.toText()));
      if (it != calls.end()) byPosition[static_cast<std::size_t>(p - 1)] = it->second.count;
    }
  }
  return leastCalledPosition(r, byPosition);
}

}  // namespace velquor::rollcall
