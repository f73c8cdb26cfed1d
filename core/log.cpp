#include "core/log.h"

#include <ctime>
#include <fstream>
#include <mutex>

namespace velquor::log {
namespace fs = std::filesystem;
namespace {

std::mutex mutex;
fs::path logFile;
std::uintmax_t logLimit = kDefaultLimit;

std::string localNow() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
#ifdef _WIN32
  localtime_s(&parts, &now);
#else
  localtime_r(&now, &parts);
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
  return text;
}

// One line, with line breaks of the cause (an exception's text may hold some) made spaces.
std::string flat(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c == '\n' || c == '\r') c = ' ';
  return out;
}

}  // namespace

void setFile(const fs::path& file, std::uintmax_t limit) {
  const std::lock_guard lock(mutex);
  logFile = file;
  logLimit = limit;
}

fs::path file() {
  const std::lock_guard lock(mutex);
  return logFile;
}

void write(std::string_view where, std::string_view cause, std::string_view roster) {
  const std::lock_guard lock(mutex);
  if (logFile.empty()) return;
  std::error_code ec;
  if (fs::file_size(logFile, ec) >= logLimit && !ec) {
    fs::path older = logFile;
    older += ".1";
    fs::rename(logFile, older, ec);
  }
  std::string line = localNow() + ' ' + flat(where) + ": " + flat(cause);
  if (!roster.empty()) line += " (roster: " + flat(roster) + ')';
  line += '\n';
  std::ofstream out(logFile, std::ios::binary | std::ios::app);
  out << line;
}

}  // namespace velquor::log
