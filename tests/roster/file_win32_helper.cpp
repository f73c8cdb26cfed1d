// A second process for the Windows roster file tests, started by them with one of:
//   hold FILE READY RELEASE  opens FILE for writing with FILE_SHARE_READ only, as Excel and WPS
//                            keep an open workbook; creates READY, exits once RELEASE exists
//   count FILE COL N         adds 1 to row 3, column COL, N times, each in a save of its own,
//                            reading the roster again whenever another writer got there first
//   saveloop FILE READY      saves again and again (a growing text and a counter) until killed;
//                            creates READY after the first save
// Exit code 0 when done; the reason of a failure on standard error.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "roster/file_ops.h"
#include "roster/workbook.h"

namespace fs = std::filesystem;
using velquor::roster::ErrorKind;
using velquor::roster::Workbook;
using velquor::roster::WorkbookError;

namespace {

void touch(const fs::path& p) {
  HANDLE h = CreateFileW(p.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
}

int hold(const fs::path& file, const fs::path& ready, const fs::path& release) {
  HANDLE h = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "hold: cannot open (error %lu)\n", GetLastError());
    return 1;
  }
  touch(ready);
  for (int i = 0; i < 60000 && GetFileAttributesW(release.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(1);
  CloseHandle(h);
  return 0;
}

int count(const fs::path& file, int col, int n) {
  auto ops = velquor::roster::systemFileOps(false);
  int done = 0, retries = 0;
  while (done < n) {
    try {
      Workbook wb = Workbook::open(file, ops);
      while (done < n) {
        const int now = static_cast<int>(wb.cell(1, 3, col).number);
        wb.setInteger(1, 3, col, static_cast<std::int16_t>(now + 1));
        wb.save();
        ++done;
      }
    } catch (const WorkbookError& e) {
      if (e.kind() != ErrorKind::ChangedOnDisk && e.kind() != ErrorKind::Held) {
        std::fprintf(stderr, "count: unexpected failure after %d saves: %s\n", done, e.what());
        return 2;
      }
      ++retries;
    }
  }
  std::printf("%d saves, %d retries\n", done, retries);
  return 0;
}

int saveloop(const fs::path& file, const fs::path& ready) {
  try {
    Workbook wb = Workbook::open(file);
    for (auto v = static_cast<std::int16_t>(wb.cell(1, 3, 20).number);;) {
      wb.setInteger(1, 3, 20, ++v);
      wb.setText(1, 4, 20, "第" + std::to_string(v) + "次");  // the file grows as it goes
      wb.save();
      touch(ready);
    }
  } catch (const WorkbookError& e) {
    std::fprintf(stderr, "saveloop: %s\n", e.what());
  }
  return 1;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc < 4) return 64;
  const std::wstring mode = argv[1];
  if (mode == L"hold" && argc == 5) return hold(argv[2], argv[3], argv[4]);
  if (mode == L"count" && argc == 5) return count(argv[2], _wtoi(argv[3]), _wtoi(argv[4]));
  if (mode == L"saveloop" && argc == 4) return saveloop(argv[2], argv[3]);
  return 64;
}
