#include "rollcall/fairpick.h"

#include <algorithm>
#include <cmath>

#include "rollcall/picksteps.h"

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

}  // namespace velquor::rollcall
