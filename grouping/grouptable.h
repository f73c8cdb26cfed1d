// The formed groups of the loaded class.
#pragma once

#include <optional>
#include <vector>

#include "core/variant.h"

namespace velquor::grouping {

struct Member {
  Variant number;   // the student's number as read from the roster
  Variant name;
  int student = 0;  // the student's row in the class table (1-based)
};

// Groups numbered from 1; each lists its members in the order they were placed.
class GroupTable {
 public:
  void reset(int groupCount) { groups_.assign(static_cast<std::size_t>(groupCount > 0 ? groupCount : 0), {}); }
  int groupCount() const { return static_cast<int>(groups_.size()); }
  // Members of group g (1..groupCount); an empty list for any other g.
  const std::vector<Member>& members(int g) const {
    static const std::vector<Member> none;
    return g >= 1 && g <= groupCount() ? groups_[static_cast<std::size_t>(g - 1)] : none;
  }
  std::vector<Member>& members(int g) { return groups_.at(static_cast<std::size_t>(g - 1)); }

  // Where the student at class position `student` sits: group (1-based) and slot
  // (1-based, the List1 row + 1). Found by position, not by number, so text numbers
  // and repeated numbers in the roster cannot point at another student.
  struct Seat {
    int group = 0;
    int slot = 0;
    bool operator==(const Seat&) const = default;
  };
  std::optional<Seat> locate(int student) const {
    for (std::size_t g = 0; g < groups_.size(); ++g) {
      const auto& list = groups_[g];
      for (std::size_t j = 0; j < list.size(); ++j) {
        if (list[j].student == student) return Seat{static_cast<int>(g) + 1, static_cast<int>(j) + 1};
      }
    }
    return std::nullopt;
  }

 private:
  std::vector<std::vector<Member>> groups_;
};

}  // namespace velquor::grouping
