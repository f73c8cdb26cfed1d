// The formed groups of the loaded class.
#pragma once

#include <vector>

#include "variant.h"

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

 private:
  std::vector<std::vector<Member>> groups_;
};

}  // namespace velquor::grouping
