#include "timer/classtimer.h"

#include <cmath>
#include <cstdio>

#include "core/numtext.h"

namespace velquor::timer {

Unit unitFromText(std::string_view text) {
  if (text == "分") return Unit::Minute;
  if (text == "时") return Unit::Hour;
  return Unit::Second;
}

std::optional<Mode> modeFromText(std::string_view text) {
  if (text == "正计时") return Mode::CountUp;
  if (text == "倒计时") return Mode::CountDown;
  return std::nullopt;
}

std::int64_t setDuration(double amount, Unit unit) {
  double seconds = amount;
  if (unit == Unit::Minute) seconds *= 60.0;
  if (unit == Unit::Hour) seconds *= 3600.0;
  seconds = roundHalfEven(seconds);
  // Compare as doubles first: the value may lie far outside any integer range.
  if (std::isnan(seconds) || seconds < 0.0) return 0;
  if (seconds > static_cast<double>(kLongestRun)) return kLongestRun;
  return static_cast<std::int64_t>(seconds);
}

Reading readClock(std::int64_t target, std::int64_t elapsed, Mode mode) {
  if (elapsed < 0) elapsed = 0;
  Reading reading;
  reading.remaining = target - elapsed;
  if (reading.remaining <= 0) {
    reading.over = true;
    reading.remaining = 0;
    elapsed = target;
  }
  reading.shown = mode == Mode::CountUp ? elapsed : reading.remaining;
  return reading;
}

std::int64_t elapsedSeconds(std::int64_t milliseconds) {
  return milliseconds <= 0 ? 0 : (milliseconds + 500) / 1000;
}

std::string clockText(std::int64_t seconds) {
  if (seconds < 0) seconds = 0;
  const auto hours = (seconds / 3600) % 24;
  const auto minutes = (seconds / 60) % 60;
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", static_cast<int>(hours), static_cast<int>(minutes),
                static_cast<int>(seconds % 60));
  return buffer;
}

}  // namespace velquor::timer
