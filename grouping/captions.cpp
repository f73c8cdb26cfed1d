#include "grouping/captions.h"

namespace velquor::grouping {

std::optional<int> memberNumber(const Member& member) { return member.number.toInteger(); }

std::string memberNumberText(const Member& member) {
  const auto number = memberNumber(member);
  return number ? std::to_string(*number) : member.number.toText();
}

std::string summaryCaption(int studentCount, int groupCount, int group, int memberCount) {
  return std::to_string(studentCount) + "人分" + std::to_string(groupCount) + "组，第" + std::to_string(group) +
         "组有" + std::to_string(memberCount) + "人";
}

std::vector<std::string> memberNames(const GroupTable& table, int group) {
  std::vector<std::string> names;
  const auto& members = table.members(group);
  names.reserve(members.size());
  for (const Member& member : members) names.push_back(member.name.toText());
  return names;
}

std::string memberCaption(int group, const Member& member) {
  return "第 " + std::to_string(group) + " 组 " + memberNumberText(member) + " 号 " + member.name.toText();
}

std::string nameCaption(int groupCount, int group, const Member& member) {
  std::string caption = groupCount > 1 ? std::to_string(group) + " 组 " : std::string();
  return caption + memberNumberText(member) + " 号 \r\n" + member.name.toText();
}

std::optional<MemberSelection> selectMember(const GroupTable& table, int groupCount, int group, int row) {
  const auto& members = table.members(group);
  if (row < 0 || row >= static_cast<int>(members.size())) return std::nullopt;
  const Member& member = members[static_cast<std::size_t>(row)];
  return MemberSelection{group,
                         row + 1,
                         member.student,
                         memberNumber(member),
                         memberCaption(group, member),
                         nameCaption(groupCount, group, member)};
}

}  // namespace velquor::grouping
