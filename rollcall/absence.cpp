#include "rollcall/absence.h"

#include <algorithm>

#include "core/log.h"

namespace velquor::rollcall {

AbsenceBook::AbsenceBook(store::Store& store, std::string date) : store_(store), date_(std::move(date)) {
  sync(true);
}

void AbsenceBook::sync(bool now) const {
  const auto time = std::chrono::steady_clock::now();
  if (!now && time - looked_ < std::chrono::milliseconds(100)) return;
  looked_ = time;
  const std::uint64_t revision = store_.revision();
  if (revision == revision_) return;
  try {
    absent_ = store_.absences(date_);
    revision_ = revision;
  } catch (const store::StoreError& e) {
    // The copy read before stays in force.
    log::write("absences", e.what());
  }
}

bool AbsenceBook::isAbsent(const AbsentStudent& student) const {
  sync();
  return std::find(absent_.begin(), absent_.end(), student) != absent_.end();
}

void AbsenceBook::setAbsent(const AbsentStudent& student, bool absent) {
  sync(true);
  if (isAbsent(student) == absent) return;
  store_.setAbsent(date_, student, absent);
  sync(true);
}

void AbsenceBook::setDate(const std::string& date) {
  if (date == date_) return;
  date_ = date;
  absent_.clear();
  revision_ = store_.revision() + 1;
  sync(true);
}

}  // namespace velquor::rollcall
