#include "roster/workbookset.h"

#include <algorithm>

namespace velquor::roster {

std::filesystem::path samePlace(const std::filesystem::path& path) {
  std::error_code ec;
  std::filesystem::path canonical = std::filesystem::weakly_canonical(path, ec);
  return ec ? path : canonical;
}

Workbook& WorkbookSet::get(const std::filesystem::path& path, bool& alreadyOpen) {
  const std::filesystem::path wanted = samePlace(path);
  for (auto& book : books_) {
    if (samePlace(book->path()) != wanted) continue;
    if (book->changedOnDisk()) {
      // The teacher edited the roster elsewhere: work on what is on disk now.
      *book = Workbook::open(book->path());
    }
    alreadyOpen = true;
    return *book;
  }
  alreadyOpen = false;
  books_.push_back(std::make_unique<Workbook>(Workbook::open(path)));
  return *books_.back();
}

void WorkbookSet::close(const Workbook* book) {
  books_.erase(std::remove_if(books_.begin(), books_.end(), [book](const auto& b) { return b.get() == book; }),
               books_.end());
}

Variant toVariant(const Cell& cell) {
  switch (cell.kind) {
    case Cell::Kind::Empty:
      return Variant();
    case Cell::Kind::Number:
      return Variant::fromNumber(cell.number);
    default:
      return Variant::fromText(cell.toText());
  }
}

Variant WorkbookCells::value(int row, int column) const { return toVariant(book_.cell(sheet_, row, column)); }

bool WorkbookCells::isDateShownAs(int row, int column, const std::string& monthDay) const {
  const Cell cell = book_.cell(sheet_, row, column);
  return cell.kind == Cell::Kind::Number && cell.isDate && book_.cellMonthDay(sheet_, row, column) == monthDay;
}

}  // namespace velquor::roster
