// Shared helpers of the roster tests: temporary folders, files, CSV, and the two spreadsheet
// programs used as independent readers.
#pragma once

#include "roster/file_ops.h"
#include "roster/workbook.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
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
  // `name` in UTF-8 (on Windows a narrow string would be read in the ANSI code page).
  fs::path operator/(const std::string& name) const;

 private:
  fs::path path_;
};

fs::path dataDir();
// A path from UTF-8 text (on Windows a narrow string would be read in the ANSI code page).
inline fs::path utf8Path(const std::string& s) { return fs::path(std::u8string(s.begin(), s.end())); }
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

// The real file operations, with one chosen step failing.
class FailingOps final : public velquor::roster::FileOps {
 public:
  explicit FailingOps(std::string failAt) : real_(velquor::roster::systemFileOps()), failAt_(std::move(failAt)) {}
  std::vector<std::uint8_t> readAll(const fs::path& p, std::uintmax_t max) override { return real_->readAll(p, max); }
  velquor::roster::FileInfo stat(const fs::path& p) override { return real_->stat(p); }
  fs::path createTemp(const fs::path& target, int& handle) override {
    step("createTemp");
    return real_->createTemp(target, handle);
  }
  void write(int handle, const std::uint8_t* data, std::size_t size) override {
    if (failAt_ == "write") {
      real_->write(handle, data, size / 2);  // a partial write, then the failure
      step("write");
    }
    real_->write(handle, data, size);
  }
  void sync(int handle) override {
    step("sync");
    real_->sync(handle);
  }
  void setPermissions(int handle, const velquor::roster::FileInfo& like) override {
    step("setPermissions");
    real_->setPermissions(handle, like);
  }
  void close(int handle) override {
    real_->close(handle);
    step("close");
  }
  void rename(const fs::path& from, const fs::path& to) override {
    step("rename");
    real_->rename(from, to);
  }
  void syncDirectory(const fs::path& dir) override {
    step("syncDirectory");
    real_->syncDirectory(dir);
  }
  void remove(const fs::path& p) noexcept override { real_->remove(p); }
  void fail(std::string at) { failAt_ = std::move(at); }

 private:
  void step(const char* name) {
    if (failAt_ == name) throw velquor::roster::WorkbookError(std::string("injected failure: ") + name);
  }
  std::shared_ptr<velquor::roster::FileOps> real_;
  std::string failAt_;
};

}  // namespace rostertest
