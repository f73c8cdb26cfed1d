#include "rollcall/absence.h"

#include <algorithm>

#include "core/textfile.h"

namespace velquor::rollcall {
namespace {
constexpr std::string_view kHeader = "velquor-absent 1";
}

AbsenceBook::AbsenceBook(std::filesystem::path file, std::string date) : file_(std::move(file)), date_(std::move(date)) {
  const auto text = readTextFile(file_);
  if (!text) return;
  const auto lines = completeLines(*text);
  if (lines.empty() || lines.front() != kHeader) return;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const auto f = splitFields(lines[i]);
    if (f.size() == 5 && f[0] == date_) absent_.push_back({f[1], f[2], f[3], f[4]});
  }
}

bool AbsenceBook::isAbsent(const AbsentStudent& student) const {
  return std::find(absent_.begin(), absent_.end(), student) != absent_.end();
}

void AbsenceBook::setAbsent(const AbsentStudent& student, bool absent) {
  if (isAbsent(student) == absent) return;
  const auto before = absent_;
  if (absent) absent_.push_back(student);
  else std::erase(absent_, student);
  try {
    store();
  } catch (...) {
    absent_ = before;
    throw;
  }
}

void AbsenceBook::setDate(const std::string& date) {
  if (date == date_) return;
  date_ = date;
  absent_.clear();
}

void AbsenceBook::store() const {
  std::string text;
  if (!absent_.empty()) {
    text = std::string(kHeader) + '\n';
    for (const AbsentStudent& a : absent_)
      text += escapedField(date_) + '\t' + escapedField(a.roster) + '\t' + escapedField(a.sheet) + '\t' +
              escapedField(a.number) + '\t' + escapedField(a.name) + '\n';
  }
  replaceTextFile(file_, text);
}

}  // namespace velquor::rollcall
