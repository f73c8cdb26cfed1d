#include "rollcall/pool.h"

#include <algorithm>

namespace velquor::rollcall {
namespace {

// Shared by both forms: rows move down over `pickPos`, the row where the move stopped is
// cleared, the count drops. Only positions inside the table are read or written.
template <typename Row>
void removeAt(std::vector<Row>& rows, int& poolCount, int pickPos, const Row& cleared) {
  const long size = static_cast<long>(rows.size());
  const RemovalSpan span = removalSpan(size, poolCount, pickPos);
  for (long i = span.first; i <= span.last; ++i) rows[static_cast<std::size_t>(i)] = rows[static_cast<std::size_t>(i + 1)];
  if (span.cleared >= 0 && span.cleared < size) rows[static_cast<std::size_t>(span.cleared)] = cleared;
  poolCount = poolCount - 1;
}

Variant emptyText() { return Variant::fromText(std::string()); }

int liveCount(int studentCount, std::size_t tableSize) {
  const long available = static_cast<long>(tableSize) - 1;
  return static_cast<int>(std::clamp<long>(studentCount, 0, std::max<long>(available, 0)));
}

}  // namespace

RemovalSpan removalSpan(long size, int poolCount, int pickPos) {
  const long count = poolCount;
  RemovalSpan span;
  span.first = std::max<long>(pickPos, 0);
  span.last = std::min(count - 1, size - 2);  // rows[i + 1] must exist
  span.cleared = pickPos <= count - 1 ? count : pickPos;
  return span;
}

NamePool fullNamePool(const NameTable& students, int studentCount) {
  const int count = liveCount(studentCount, students.size());
  NamePool pool(static_cast<std::size_t>(count) + 1, NamePoolRow{emptyText(), emptyText(), emptyText()});
  for (int i = 1; i <= count; ++i)
    pool[static_cast<std::size_t>(i)] = {Variant::fromNumber(i), students[static_cast<std::size_t>(i)].number,
                                         Variant::fromNumber(i + 2)};
  return pool;
}

RangeTable fullRangeTable(int category, int rangeLow, int count) {
  RangeTable table(static_cast<std::size_t>(std::max(count, 0)) + 1, emptyText());
  for (int k = 1; k <= count; ++k)
    table[static_cast<std::size_t>(k)] = Variant::fromNumber(category == kNumber ? rangeLow + k - 1 : k);
  return table;
}

DropResult dropFromNamePool(PickPool& pool, int& poolCount, int pickPos, const StudentTable& students,
                            int studentCount) {
  auto* rows = std::get_if<NamePool>(&pool);
  if (!rows) return DropResult::WrongForm;
  removeAt(*rows, poolCount, pickPos, NamePoolRow{emptyText(), emptyText(), emptyText()});
  if (poolCount > 0) return DropResult::Removed;
  // Everybody has been called: the whole class is back, whatever today's marks say.
  const auto* table = std::get_if<NameTable>(&students);
  NamePool full = table ? fullNamePool(*table, studentCount) : NamePool(1);
  poolCount = static_cast<int>(full.size()) - 1;
  if (rows->size() < full.size()) rows->resize(full.size());
  std::copy(full.begin() + 1, full.end(), rows->begin() + 1);
  return DropResult::Refilled;
}

DropResult dropFromRangePool(PickPool& pool, int& poolCount, int pickPos, int category, int rangeLow,
                             int studentCount) {
  auto* entries = std::get_if<RangeTable>(&pool);
  if (!entries) return DropResult::WrongForm;
  removeAt(*entries, poolCount, pickPos, emptyText());
  if (poolCount > 0) return DropResult::Removed;
  const RangeTable full = fullRangeTable(category, rangeLow, std::max(studentCount, 0));
  poolCount = static_cast<int>(full.size()) - 1;
  if (entries->size() < full.size()) entries->resize(full.size());
  std::copy(full.begin() + 1, full.end(), entries->begin() + 1);
  return DropResult::Refilled;
}

std::optional<int> rangeCandidate(const PickPool& pool, int poolCount, int pos) {
  const auto* entries = std::get_if<RangeTable>(&pool);
  if (!entries || pos < 1 || pos > poolCount || pos >= static_cast<int>(entries->size())) return std::nullopt;
  return (*entries)[static_cast<std::size_t>(pos)].toInteger();
}

std::optional<int> nameCandidateNumber(const PickPool& pool, int poolCount, int pos) {
  const auto* rows = std::get_if<NamePool>(&pool);
  if (!rows || pos < 1 || pos > poolCount || pos >= static_cast<int>(rows->size())) return std::nullopt;
  return (*rows)[static_cast<std::size_t>(pos)].number.toInteger();
}

}  // namespace velquor::rollcall
