// Caption texts of the grouping frame and the name label, and what selecting a member
// makes current. UTF-8 throughout.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "grouping/grouptable.h"

namespace velquor::grouping {

// The member's number as a 16-bit Integer; empty when the roster cell holds text that
// is not a number, nothing, or a number out of range.
std::optional<int> memberNumber(const Member& member);

// The number as captions show it: the Integer when there is one, otherwise the cell's
// text as it stands (so the teacher sees what the roster holds).
std::string memberNumberText(const Member& member);

// "48人分6组，第1组有8人": class size, group count, the group shown and its member count.
std::string summaryCaption(int studentCount, int groupCount, int group, int memberCount);

// The names of group g's members in slot order, one List1 row each.
std::vector<std::string> memberNames(const GroupTable& table, int group);

// "第 2 组 15 号 " followed by the name (the caption of LabCz).
std::string memberCaption(int group, const Member& member);

// The name label's two lines: "2 组 15 号 " (with several groups) or "15 号 " (with
// one), CR LF, the name.
std::string nameCaption(int groupCount, int group, const Member& member);

struct MemberSelection {
  int group = 0;
  int slot = 0;     // 1-based
  int student = 0;  // class position of the member
  // The new current number. Empty for a member whose number is not an Integer: the
  // current number must then be cleared, never left naming the previous student.
  std::optional<int> number;
  std::string memberCaption;  // LabCz
  std::string nameCaption;    // lblXm
};

// Selecting List1 row `row` (0-based) while group `group` is shown; empty when the
// group has no such row. `groupCount` is the rule in force, which decides the name
// label's group prefix (a rule confirmed but not yet applied already counts).
std::optional<MemberSelection> selectMember(const GroupTable& table, int groupCount, int group, int row);

}  // namespace velquor::grouping
