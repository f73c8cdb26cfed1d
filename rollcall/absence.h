// Students marked absent for the day, per roster and class. Kept in the program's store
// (never in the roster), so they come back after a restart on the same day; other days'
// entries are dropped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "store/programstore.h"

namespace velquor::rollcall {

using AbsentStudent = store::StudentKey;

class AbsenceBook {
 public:
  // The entries of `date` (any fixed form, "2026-12-05") in `store`.
  AbsenceBook(store::Store& store, std::string date);
  // Looks in the copy read from the store (read again when another process changed it).
  bool isAbsent(const AbsentStudent& student) const;
  // Marks or clears and stores it; throws store::StoreError when the store refuses (nothing
  // changes then).
  void setAbsent(const AbsentStudent& student, bool absent);
  // Changes the day (the program ran past midnight): the new day starts with nobody absent.
  void setDate(const std::string& date);
  const std::string& date() const { return date_; }

 private:
  void sync() const;
  store::Store& store_;
  std::string date_;
  mutable std::uint64_t revision_ = 0;
  mutable std::vector<AbsentStudent> absent_;
};

}  // namespace velquor::rollcall
