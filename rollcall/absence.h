// Students marked absent for the day, per roster and class. Kept in a small file of the
// program's own (never in the roster), so they come back after a restart on the same day;
// other days' entries are dropped.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace velquor::rollcall {

struct AbsentStudent {
  std::string roster;  // the roster file's path
  std::string sheet;   // the class sheet's name
  std::string number;  // column A as text
  std::string name;    // column B as text
  bool operator==(const AbsentStudent&) const = default;
};

class AbsenceBook {
 public:
  // Reads the entries of `date` (any fixed form, "2026-12-05") from `file`.
  AbsenceBook(std::filesystem::path file, std::string date);
  bool isAbsent(const AbsentStudent& student) const;
  // Marks or clears and stores the day's entries; throws std::runtime_error when the file
  // cannot be written (the change is then undone).
  void setAbsent(const AbsentStudent& student, bool absent);
  // Changes the day (the program ran past midnight): the new day starts with nobody absent.
  void setDate(const std::string& date);
  const std::string& date() const { return date_; }

 private:
  void store() const;
  std::filesystem::path file_;
  std::string date_;
  std::vector<AbsentStudent> absent_;
};

}  // namespace velquor::rollcall
