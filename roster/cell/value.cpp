// Cell values as both formats store them: number formats that show dates, numbers as text,
// date headings.
#include "roster/cell/value.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <vector>

namespace velquor::roster {
namespace detail {
namespace {

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian calendar).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, int& y, unsigned& m, unsigned& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
}

std::string monthDay(unsigned m, unsigned d) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02u月%02u", m, d);
  return buf;
}

// "2026-12-05", "2026/12/5", "2026.12.05", "2026年12月5日", "12月5日" read as dates.
bool parseDateText(const std::string& s, unsigned& m, unsigned& d) {
  std::vector<long> nums;
  std::vector<std::string> seps;
  std::size_t i = 0;
  while (i < s.size()) {
    if (std::isdigit(static_cast<unsigned char>(s[i]))) {
      long v = 0;
      std::size_t start = i;
      while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])) && i - start < 6) v = v * 10 + (s[i++] - '0');
      nums.push_back(v);
    } else {
      std::size_t start = i;
      while (i < s.size() && !std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
      seps.push_back(s.substr(start, i - start));
    }
  }
  if (!s.empty() && !std::isdigit(static_cast<unsigned char>(s[0]))) return false;
  auto valid = [&](long mm, long dd) {
    if (mm < 1 || mm > 12 || dd < 1 || dd > 31) return false;
    m = static_cast<unsigned>(mm);
    d = static_cast<unsigned>(dd);
    return true;
  };
  if (nums.size() == 3 && nums[0] >= 1000 && seps.size() >= 2) {
    const std::string& a = seps[0];
    if ((a == "-" || a == "/" || a == ".") && seps[1] == a && seps.size() == 2) return valid(nums[1], nums[2]);
    if (a == "年" && seps[1] == "月" && (seps.size() == 2 || (seps.size() == 3 && seps[2] == "日"))) return valid(nums[1], nums[2]);
  }
  if (nums.size() == 2 && !seps.empty() && seps[0] == "月" && seps.size() == 2 && seps[1] == "日") return valid(nums[0], nums[1]);
  return false;
}

}  // namespace

bool isBuiltinDateFormat(std::uint32_t f) {
  return (f >= 14 && f <= 22) || (f >= 27 && f <= 36) || (f >= 45 && f <= 47) || (f >= 50 && f <= 58);
}

bool isDateFormatString(const std::string& f) {
  std::string lower;
  for (char c : f) lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  if (lower == "general" || lower == "@") return false;
  for (std::size_t i = 0; i < f.size(); ++i) {
    char c = static_cast<char>(std::tolower(static_cast<unsigned char>(f[i])));
    if (c == '"') {
      std::size_t j = f.find('"', i + 1);
      if (j == std::string::npos) return false;
      i = j;
    } else if (c == '\\' || c == '_' || c == '*') {
      ++i;
    } else if (c == '[') {
      std::size_t j = f.find(']', i + 1);
      if (j == std::string::npos) return false;
      std::string inner = lower.substr(i + 1, j - i - 1);
      if (!inner.empty() && inner.find_first_not_of("hms") == std::string::npos) return true;  // elapsed time
      i = j;
    } else if (c == ';') {
      return false;  // only the first section decides
    } else if (c == 'd' || c == 'm' || c == 'y' || c == 'h' || c == 's') {
      return true;
    }
  }
  return false;
}

std::string formatNumber(double v) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v > 0 ? "Infinity" : "-Infinity";
  if (v == std::floor(v) && std::fabs(v) < 1e15) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.0f", v);
    return std::string(buf) == "-0" ? "0" : buf;
  }
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  return buf;
}

std::string monthDayText(const Cell& c, bool date1904) {
  if (c.kind == Cell::Kind::Number && c.isDate && c.number >= 0 && c.number < 2958466) {
    std::int64_t days = static_cast<std::int64_t>(std::floor(c.number));
    int y;
    unsigned m, d;
    if (date1904) {
      civilFromDays(daysFromCivil(1904, 1, 1) + days, y, m, d);
    } else if (days == 60) {
      return monthDay(2, 29);  // the 1900 system's 29 February 1900
    } else {
      civilFromDays(daysFromCivil(1899, 12, days < 60 ? 31 : 30) + days, y, m, d);
    }
    return monthDay(m, d);
  }
  if (c.kind == Cell::Kind::Text) {
    unsigned m, d;
    if (parseDateText(c.text, m, d)) return monthDay(m, d);
  }
  return c.toText();
}

}  // namespace detail

using detail::formatNumber;

std::string Cell::toText() const {
  switch (kind) {
    case Kind::Empty: return "";
    case Kind::Text: return text;
    case Kind::Number: return formatNumber(number);
    case Kind::Boolean: return number != 0 ? "TRUE" : "FALSE";
    case Kind::Error: return text;
  }
  return "";
}

}  // namespace velquor::roster
