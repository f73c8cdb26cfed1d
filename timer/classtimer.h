// The class timer's rules: the set duration from amount and unit, what the clock label
// shows on a tick, and the "hh:mm:ss" text. Times are whole seconds; the caller measures
// the elapsed time with the clock, never by counting ticks.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velquor::timer {

enum class Unit { Second, Minute, Hour };
enum class Mode { CountUp, CountDown };

// "秒", "分" or "时"; any other text counts as seconds (the amount is left unchanged).
Unit unitFromText(std::string_view text);
// "正计时" or "倒计时"; empty for any other text.
std::optional<Mode> modeFromText(std::string_view text);

// The set duration is shown as a time of day, so it must stay below 24 hours.
inline constexpr std::int64_t kLongestRun = 24 * 3600 - 1;  // 23:59:59

// The set duration in seconds: the amount in its unit, rounded halves to even (2.5 s
// -> 2 s, 1.5 min -> 90 s). A negative amount gives 0 (the run ends at its first tick);
// 24 hours or more give 23:59:59.
std::int64_t setDuration(double amount, Unit unit);

struct Reading {
  bool over = false;           // the set time has run out: the timer stops itself
  std::int64_t remaining = 0;  // 0 once over
  std::int64_t shown = 0;      // what the clock label shows in the given mode
};

// One tick: `elapsed` is the clock time since the start. Counting up shows the elapsed
// time, and exactly the set duration once it is over; counting down shows what remains.
// A clock set back before the start counts as no time elapsed.
Reading readClock(std::int64_t target, std::int64_t elapsed, Mode mode);

// The elapsed time in whole seconds from the milliseconds measured, to the nearest second:
// a tick that comes a little early or late shows the second it stands for. Below zero
// counts as zero.
std::int64_t elapsedSeconds(std::int64_t milliseconds);

// "hh:mm:ss" with two-digit hours 00..23 (the time of day the seconds stand for);
// negative seconds show as 00:00:00.
std::string clockText(std::int64_t seconds);

}  // namespace velquor::timer
