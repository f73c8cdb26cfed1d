#include "rollcall/takeback.h"

namespace velquor::rollcall {
namespace {

bool inside(long row, std::size_t size) { return row >= 0 && row < static_cast<long>(size); }

template <typename Row>
std::vector<Row> savedRows(const std::vector<Row>& rows, int poolCount, int pickPos) {
  const RemovalSpan span = removalSpan(static_cast<long>(rows.size()), poolCount, pickPos);
  std::vector<Row> saved(2);
  if (inside(span.first, rows.size())) saved[0] = rows[static_cast<std::size_t>(span.first)];
  if (inside(span.cleared, rows.size())) saved[1] = rows[static_cast<std::size_t>(span.cleared)];
  return saved;
}

template <typename Row>
void restoreRows(std::vector<Row>& rows, const std::vector<Row>& saved, int countBefore, int pickPos) {
  const RemovalSpan span = removalSpan(static_cast<long>(rows.size()), countBefore, pickPos);
  for (long i = span.last; i >= span.first; --i)
    rows[static_cast<std::size_t>(i + 1)] = rows[static_cast<std::size_t>(i)];
  if (span.first <= span.last) rows[static_cast<std::size_t>(span.first)] = saved[0];
  if (inside(span.cleared, rows.size())) rows[static_cast<std::size_t>(span.cleared)] = saved[1];
}

}  // namespace

PoolChange PoolChange::before(const PickPool& pool, int poolCount, int pickPos) {
  PoolChange change;
  change.pickPos_ = pickPos;
  change.countBefore_ = poolCount;
  // A removal that leaves no candidate refills the whole pool.
  if (poolCount <= 1) {
    change.whole_ = pool;
  } else if (const auto* rows = std::get_if<NamePool>(&pool)) {
    change.saved_ = savedRows(*rows, poolCount, pickPos);
  } else if (const auto* entries = std::get_if<RangeTable>(&pool)) {
    change.saved_ = savedRows(*entries, poolCount, pickPos);
  }
  return change;
}

bool PoolChange::undo(PickPool& pool, int& poolCount) const {
  if (countBefore_ <= 1) {
    if (whole_.index() != pool.index()) return false;
    pool = whole_;
    poolCount = countBefore_;
    return true;
  }
  if (poolCount != countBefore_ - 1 || saved_.index() != pool.index()) return false;
  if (auto* rows = std::get_if<NamePool>(&pool)) {
    restoreRows(*rows, std::get<NamePool>(saved_), countBefore_, pickPos_);
  } else if (auto* entries = std::get_if<RangeTable>(&pool)) {
    restoreRows(*entries, std::get<RangeTable>(saved_), countBefore_, pickPos_);
  } else {
    return false;
  }
  poolCount = countBefore_;
  return true;
}

void CallHistory::startDay(int category, Shown start) {
  calls_.clear();
  category_ = category;
  start_ = std::move(start);
}

void CallHistory::record(int category, const PickPool& pool, int poolCount, int pickPos, bool writeEnabledBefore,
                         Shown shown) {
  if (category != category_) {
    // Calls on a pool whose start was not seen (another category's pool) start a day of their own.
    calls_.clear();
    category_ = category;
    start_ = Shown{};
  }
  calls_.push_back({PoolChange::before(pool, poolCount, pickPos), std::move(shown), writeEnabledBefore});
}

std::optional<CallHistory::TakenBack> CallHistory::takeBack(int category, PickPool& pool, int& poolCount) {
  if (!canTakeBack(category)) return std::nullopt;
  const Call last = calls_.back();
  if (!last.change.undo(pool, poolCount)) {
    calls_.clear();
    return std::nullopt;
  }
  calls_.pop_back();
  const bool startOfDay = calls_.empty();
  return TakenBack{startOfDay ? start_ : calls_.back().shown, startOfDay, last.writeEnabledBefore};
}

}  // namespace velquor::rollcall
