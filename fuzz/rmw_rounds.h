// Read, edit, write, read again, three times (the last two through save() on a file kept in
// memory): the edited cells hold the new values and every other cell is as before. A write may
// be refused with WorkbookError; a written file must always read back, and a file the component
// wrote must take further rounds of edits. Shared by the read-modify-write fuzzers.
#pragma once

#include "roster/file_ops.h"
#include "roster/workbook.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <set>
#include <string>
#include <tuple>

using velquor::roster::Cell;
using velquor::roster::FileInfo;
using velquor::roster::FileOps;
using velquor::roster::Workbook;
using velquor::roster::WorkbookError;

namespace rmw {

bool sameValue(const Cell& a, const Cell& b) {
  if (a.kind != b.kind || a.text != b.text) return false;
  return a.number == b.number || (std::isnan(a.number) && std::isnan(b.number));
}

[[noreturn]] void bug(const char* what, int s, int r, int c) {
  std::fprintf(stderr, "round trip: %s at sheet %d row %d col %d\n", what, s, r, c);
  std::abort();
}

// A file kept in memory: save() runs its whole path (temporary file, rename) without a disk.
class MemoryFile final : public FileOps {
 public:
  explicit MemoryFile(std::vector<std::uint8_t> content) : content_(std::move(content)) {}
  const std::vector<std::uint8_t>& content() const { return content_; }
  std::vector<std::uint8_t> readAll(const std::filesystem::path&, std::uintmax_t) override { return content_; }
  FileInfo stat(const std::filesystem::path&) override {
    FileInfo f;
    f.exists = f.regular = true;
    f.size = content_.size();
    f.mtimeNs = version_;
    f.mode = 0644;
    return f;
  }
  std::filesystem::path createTemp(const std::filesystem::path& target, int& handle) override {
    temp_.clear();
    handle = 1;
    return target.string() + ".tmp";
  }
  void write(int, const std::uint8_t* data, std::size_t size) override { temp_.insert(temp_.end(), data, data + size); }
  void sync(int) override {}
  void setPermissions(int, const FileInfo&) override {}
  void close(int) override {}
  void rename(const std::filesystem::path&, const std::filesystem::path&) override {
    content_.swap(temp_);
    ++version_;
  }
  void syncDirectory(const std::filesystem::path&) override {}
  void remove(const std::filesystem::path&) noexcept override {}
  bool onDisk() const override { return false; }

 private:
  std::vector<std::uint8_t> content_, temp_;
  std::int64_t version_ = 1;
};

class Rng {
 public:
  explicit Rng(std::uint32_t seed) : x_(seed) {}
  int operator()(std::uint32_t n) {
    x_ = x_ * 1103515245u + 12345u;
    return static_cast<int>((x_ >> 8) % n);
  }

 private:
  std::uint32_t x_;
};

// One round: edits, writes and reads back `wb`; the workbook read back, or nothing when the
// component refused the edit or the write.
std::optional<Workbook> round(Workbook& wb, MemoryFile* file, Rng& rnd, bool mustAccept) {
  std::set<std::tuple<int, int, int>> edited;
  const int sheets = std::min(wb.sheetCount(), 3);
  try {
    for (int s = 1; s <= sheets; ++s) {
      const int rows = std::max(wb.lastRow(s), 1), cols = std::max(wb.lastColumn(s), 1);
      for (int k = 0; k < 6; ++k) {
        const int r = 1 + rnd(static_cast<std::uint32_t>(std::min(rows + 3, 400)));
        const int c = 1 + rnd(static_cast<std::uint32_t>(std::min(cols + 2, 30)));
        if (rnd(3) == 0)
          wb.setText(s, r, c, k % 2 ? "12月0" + std::to_string(k) : std::string("第") + std::to_string(rnd(9999)) + "组");
        else
          wb.setInteger(s, r, c, static_cast<std::int16_t>(rnd(65536) - 32768));
        edited.emplace(s, r, c);
      }
    }
  } catch (const WorkbookError& e) {
    // An edit the component refuses. In the second round the sheets were already accepted once,
    // so only what the first round could also meet is allowed: a damaged string table (new
    // strings may not have been needed then), a shared formula cell, or a formula cell whose
    // overwriting would take out a relationship a sheet names.
    const std::string why = e.what();
    if (mustAccept && why.find("shared or array formula") == std::string::npos &&
        why.find("string table") == std::string::npos && why.find("calculation chain") == std::string::npos) {
      std::fprintf(stderr, "second round refused: %s\n", e.what());
      std::abort();
    }
    return std::nullopt;
  }
  // What every cell should read after the save.
  struct Want {
    int s, r, c;
    Cell cell;
  };
  std::vector<Want> want;
  for (int s = 1; s <= wb.sheetCount(); ++s) {
    const int rows = std::min(wb.lastRow(s) + 2, 420), cols = std::min(wb.lastColumn(s) + 2, 40);
    for (int r = 1; r <= rows; ++r)
      for (int c = 1; c <= cols; ++c) want.push_back({s, r, c, wb.cell(s, r, c)});
  }
  std::vector<std::uint8_t> out;
  try {
    if (file)
      wb.save();
    else
      out = wb.serialize();
  } catch (const WorkbookError& e) {
    if (mustAccept && std::string(e.what()).find("shrink") == std::string::npos) {
      std::fprintf(stderr, "second write refused: %s\n", e.what());
      std::abort();
    }
    return std::nullopt;
  }
  std::optional<Workbook> back;
  try {
    back.emplace(Workbook::fromBytes(file ? file->content() : out));
  } catch (const WorkbookError& e) {
    std::fprintf(stderr, "written file does not read back: %s\n", e.what());
    std::abort();
  }
  // The saved workbook took its new state over without reading the file again: it must agree
  // with a fresh reading of what it wrote.
  for (const Want& w : want) {
    if (!sameValue(w.cell, back->cell(w.s, w.r, w.c))) bug("value differs in the file", w.s, w.r, w.c);
    if (!edited.count({w.s, w.r, w.c}) && w.cell.isDate != back->cell(w.s, w.r, w.c).isDate) bug("format differs", w.s, w.r, w.c);
    if (file && !sameValue(w.cell, wb.cell(w.s, w.r, w.c))) bug("value differs after the save", w.s, w.r, w.c);
    if (file && wb.cell(w.s, w.r, w.c).isDate != back->cell(w.s, w.r, w.c).isDate) bug("format differs after the save", w.s, w.r, w.c);
  }
  if (file) {
    for (int s = 1; s <= wb.sheetCount(); ++s)
      if (wb.lastRow(s) != back->lastRow(s) || wb.lastColumn(s) != back->lastColumn(s)) bug("used range differs", s, 0, 0);
  }
  if (back->sheetCount() != wb.sheetCount()) bug("sheet count", 0, 0, 0);
  for (int s = 1; s <= wb.sheetCount(); ++s) {
    if (back->sheetName(s) != wb.sheetName(s)) bug("sheet name", s, 0, 0);
    const int rows = std::min(std::max(wb.lastRow(s), back->lastRow(s)) + 2, 420);
    const int cols = std::min(std::max(wb.lastColumn(s), back->lastColumn(s)) + 2, 40);
    for (int r = 1; r <= rows; ++r)
      for (int c = 1; c <= cols; ++c) {
        (void)back->cell(s, r, c);
      }
  }
  return back;
}

}  // namespace rmw


// Runs the rounds on `bytes`; aborts on a fault.
inline void readModifyWrite(const std::vector<std::uint8_t>& bytes) {
  const std::uint8_t* data = bytes.data();
  const std::size_t size = bytes.size();
  std::uint32_t seed = 2166136261u;
  for (std::size_t i = 0; i < size; i += 61) seed = (seed ^ data[i]) * 16777619u;
  rmw::Rng rnd(seed);
  // Round one writes in memory; round two saves through the whole save path, on the file the
  // component wrote itself.
  std::optional<Workbook> wb;
  try {
    wb.emplace(Workbook::fromBytes(bytes));
  } catch (const WorkbookError&) {
    return;
  }
  std::optional<Workbook> back = rmw::round(*wb, nullptr, rnd, false);
  if (!back || !wb->modified()) return;  // refused, or nothing to edit: no file of ours to go on with
  auto file = std::make_shared<rmw::MemoryFile>(back->serialize());
  Workbook saved = Workbook::open("roster-in-memory.xls", file);
  if (rmw::round(saved, file.get(), rnd, true)) rmw::round(saved, file.get(), rnd, true);
  return;
}
