// Read, edit, write, read again, twice: the edited cells hold the new values and every other
// cell is as before. A write may be refused with WorkbookError; a written file must always read
// back, and a file the component wrote must take a second round of edits.
#include <velquor/roster/workbook.h>

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
using velquor::roster::Workbook;
using velquor::roster::WorkbookError;

namespace {

bool sameValue(const Cell& a, const Cell& b) {
  if (a.kind != b.kind || a.text != b.text) return false;
  return a.number == b.number || (std::isnan(a.number) && std::isnan(b.number));
}

[[noreturn]] void bug(const char* what, int s, int r, int c) {
  std::fprintf(stderr, "round trip: %s at sheet %d row %d col %d\n", what, s, r, c);
  std::abort();
}

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
std::optional<Workbook> round(Workbook& wb, Rng& rnd, bool mustAccept) {
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
    // strings may not have been needed then) or a shared formula cell.
    const std::string why = e.what();
    if (mustAccept && why.find("shared or array formula") == std::string::npos &&
        why.find("string table") == std::string::npos) {
      std::fprintf(stderr, "second round refused: %s\n", e.what());
      std::abort();
    }
    return std::nullopt;
  }
  std::vector<std::uint8_t> out;
  try {
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
    back.emplace(Workbook::fromBytes(out));
  } catch (const WorkbookError& e) {
    std::fprintf(stderr, "written file does not read back: %s\n", e.what());
    std::abort();
  }
  if (back->sheetCount() != wb.sheetCount()) bug("sheet count", 0, 0, 0);
  for (int s = 1; s <= wb.sheetCount(); ++s) {
    if (back->sheetName(s) != wb.sheetName(s)) bug("sheet name", s, 0, 0);
    const int rows = std::min(std::max(wb.lastRow(s), back->lastRow(s)) + 2, 420);
    const int cols = std::min(std::max(wb.lastColumn(s), back->lastColumn(s)) + 2, 40);
    for (int r = 1; r <= rows; ++r)
      for (int c = 1; c <= cols; ++c) {
        const Cell a = wb.cell(s, r, c), b = back->cell(s, r, c);
        if (!sameValue(a, b)) bug("value differs", s, r, c);
        if (!edited.count({s, r, c}) && a.isDate != b.isDate) bug("format differs", s, r, c);
      }
  }
  return back;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::optional<Workbook> wb;
  try {
    wb.emplace(Workbook::fromBytes(std::vector<std::uint8_t>(data, data + size)));
  } catch (const WorkbookError&) {
    return 0;
  }
  std::uint32_t seed = 2166136261u;
  for (std::size_t i = 0; i < size; i += 61) seed = (seed ^ data[i]) * 16777619u;
  Rng rnd(seed);
  std::optional<Workbook> back = round(*wb, rnd, false);
  if (back) round(*back, rnd, true);
  return 0;
}
