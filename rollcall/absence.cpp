#include "rollcall/absence.h"

#include <algorithm>

#include "core/log.h"

namespace velquor::rollcall {

AbsenceBook::AbsenceBook(store::Store& store, std::string date) : store_(store), date_(std::move(date)) {
  revision_ = store_.revision() + 1;  // read at the first look
}

void AbsenceBook::sync() const {
  const std::uint64_t now = store_.revision();
  if (now == revision_) return;
  try {
    absent_ = store_.absences(date_);
    revision_ = now;
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
  if (isAbsent(student) == absent) return;
  store_.setAbsent(date_, student, absent);
  sync();
}

void AbsenceBook::setDate(const std::string& date) {
  if (date == date_) return;
  date_ = date;
  revision_ = store_.revision() + 1;
  absent_.clear();
}

}  // namespace velquor::rollcall
