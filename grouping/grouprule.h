// The group rule: a number of groups or a number of persons per group, typed by the
// teacher and checked against the class size.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velquor::grouping {

enum class RuleMode {
  GroupCount,      // the teacher fixes the number of groups
  PersonsPerGroup  // the teacher fixes the persons per group
};

struct GroupRule {
  int groupCount = 1;
  int groupSize = 0;
  bool operator==(const GroupRule&) const = default;
};

// Outcome of confirming a rule box: either the accepted rule or the refusal text.
struct RuleEntry {
  std::optional<GroupRule> rule;  // set when accepted
  std::string refusal;            // UTF-8 message text when refused, empty otherwise
  bool accepted() const { return rule.has_value(); }
};

// The other number of the rule: the ceiling of n / v, for 1 <= v.
int derivedNumber(int studentCount, int entered);

// The message shown when the box's number is outside 1..n.
std::string refusalText(RuleMode mode, int studentCount);

// Reads the box text (its leading number, rounded to a 16-bit integer) and checks it
// against 1..studentCount. Accepted: the entered number and the derived one form the
// rule. Refused: the message text for the mode.
RuleEntry confirmRule(RuleMode mode, std::string_view boxText, int studentCount);

// The rule the class loader starts from: one group holding the whole class.
GroupRule wholeClassRule(int studentCount);

// True when groups of these sizes can seat every one of n students (the grouping
// places nobody past groupCount x groupSize).
bool ruleSeatsClass(int studentCount, int groupCount, int groupSize);

}  // namespace velquor::grouping
