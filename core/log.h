// The program's log, "velquor.log" in the data folder: one line per failure the program
// handles without a word on screen (a step abandoned, a retry that failed, data that could
// not be stored), with its cause and the roster it concerns. Never a student's name or mark.
// The file is kept small: past its limit it is renamed "velquor.log.1" (replacing the one
// before) and a new one is started. Safe to call from any thread; a log that cannot be
// written is given up on quietly.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace velquor::log {

constexpr std::uintmax_t kDefaultLimit = 256 * 1024;

// Where lines go from now on ("" stops logging).
void setFile(const std::filesystem::path& file, std::uintmax_t limit = kDefaultLimit);
std::filesystem::path file();

// "2026-12-05 10:31:02 WHERE: CAUSE (roster: PATH)"; the roster part only when given.
void write(std::string_view where, std::string_view cause, std::string_view roster = {});

}  // namespace velquor::log
