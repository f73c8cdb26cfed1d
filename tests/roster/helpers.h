// Shared helpers of the roster tests: temporary folders, files, CSV, and the two spreadsheet
// programs used as independent readers.
#pragma once

#include "roster/workbook.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace rostertest {

namespace fs = std::filesystem;
using Grid = std::vector<std::vector<std::string>>;

// A fresh folder under the system temporary folder, removed at destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }
  fs::path operator/(const std::string& name) const { return path_ / name; }

 private:
  fs::path path_;
};

fs::path dataDir();
std::vector<std::uint8_t> readFile(const fs::path& p);
void writeFile(const fs::path& p, const std::vector<std::uint8_t>& bytes);
Grid parseCsv(const std::string& text);
Grid readCsv(const fs::path& p);

bool haveProgram(const std::string& name);
// Each sheet of `xls` as the program prints it, by sheet name; empty when the program failed.
std::map<std::string, Grid> gnumericSheets(const fs::path& xls, const fs::path& work);
std::map<std::string, Grid> libreofficeSheets(const fs::path& xls, const fs::path& work);

// Compares every cell of `sheet` with a grid a spreadsheet program printed. Returns the
// differences as readable lines (empty when they agree).
std::vector<std::string> compareSheet(const velquor::roster::Workbook& wb, int sheet, const Grid& expected);

// All cells of every sheet, as (sheet, row, col) -> printable value, for before/after checks.
std::map<std::tuple<int, int, int>, std::string> snapshot(const velquor::roster::Workbook& wb);

}  // namespace rostertest
