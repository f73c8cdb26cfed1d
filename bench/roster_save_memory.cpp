// Memory over repeated saves of one roster in one process: opens a private copy of the roster,
// then writes one mark and saves, or a whole group column and saves, ROUNDS times, printing
// the resident size (current and peak) and the heap in use after each save. Run it under
// /usr/bin/time -v for the peak of the whole process.
// Usage: roster_save_memory ROSTER.xlsx [mark|group|both] [ROUNDS]
#include <malloc.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "roster/file_ops.h"
#include "roster/workbook.h"

namespace fs = std::filesystem;
using velquor::roster::Workbook;

namespace {

long statusKb(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(key, 0) == 0) return std::stol(line.substr(std::strlen(key)));
  return -1;
}

void report(const char* what, int round) {
  const struct mallinfo2 m = mallinfo2();
  std::printf("%-5s %3d  rss %6ld kB  peak %6ld kB  heap in use %6zu kB  mmapped %6zu kB  heap free %6zu kB\n", what, round,
              statusKb("VmRSS:"), statusKb("VmHWM:"), (m.uordblks + m.hblkhd) / 1024, m.hblkhd / 1024, m.fordblks / 1024);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s ROSTER.xlsx [mark|group|both] [ROUNDS]\n", argv[0]);
    return 2;
  }
  const std::string mode = argc > 2 ? argv[2] : "both";
  const int rounds = argc > 3 ? std::stoi(argv[3]) : 11;
  const fs::path copy = fs::temp_directory_path() / ("velquor-memory-" + fs::path(argv[1]).filename().string());
  fs::copy_file(argv[1], copy, fs::copy_options::overwrite_existing);
  Workbook wb = Workbook::open(copy, velquor::roster::systemFileOps(false));
  report("open", 0);
  const int students = wb.lastRow(1) - 2;
  for (int round = 1; round <= rounds; ++round) {
    if (mode != "group") {
      wb.setInteger(1, 9, 12, static_cast<std::int16_t>(round));
      wb.save();
      report("mark", round);
    }
    if (mode != "mark") {
      for (int i = 1; i <= students; ++i) wb.setInteger(1, i + 2, 5, static_cast<std::int16_t>((i + round) % 6 + 1));
      wb.save();
      report("group", round);
    }
  }
  fs::remove(copy);
  return 0;
}
