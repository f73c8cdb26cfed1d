#include "grouping/grouprule.h"

#include "core/numtext.h"

namespace velquor::grouping {

int derivedNumber(int studentCount, int entered) { return (studentCount - 1) / entered + 1; }

std::string refusalText(RuleMode mode, int studentCount) {
  const char* lead = mode == RuleMode::GroupCount ? "请输入正确的组数，值范围为[1~" : "请输入每组的人数，值范围为[1~";
  return lead + std::to_string(studentCount) + "]";
}

RuleEntry confirmRule(RuleMode mode, std::string_view boxText, int studentCount) {
  const auto value = toInteger(leadingNumber(boxText));
  if (!value || *value < 1 || *value > studentCount) return {std::nullopt, refusalText(mode, studentCount)};
  const int entered = *value;
  const int other = derivedNumber(studentCount, entered);
  if (mode == RuleMode::GroupCount) return {GroupRule{entered, other}, {}};
  return {GroupRule{other, entered}, {}};
}

GroupRule wholeClassRule(int studentCount) { return {1, studentCount > 0 ? studentCount : 0}; }

bool ruleSeatsClass(int studentCount, int groupCount, int groupSize) {
  if (studentCount < 0 || groupCount < 1 || groupSize < 0) return false;
  return static_cast<long long>(groupCount) * groupSize >= studentCount;
}

}  // namespace velquor::grouping
