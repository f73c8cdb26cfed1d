// Splitting the class into groups, in list order or by a uniform draw without
// replacement, group by group.
#pragma once

#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "grouping/grouptable.h"
#include "core/variant.h"

namespace velquor::grouping {

// One row of the class list; its position (1-based) is its place in the list.
struct Student {
  Variant number;
  Variant name;
};

enum class GroupingOrder { InOrder, Random };

// The random generator: each call returns a value uniform in [0, 1).
using UniformDraw = std::function<double()>;

// Which of m remaining entries a draw r picks: floor(r x m) + 1, kept within 1..m
// even for a value at or past the ends of [0, 1).
int drawIndex(double r, int remaining);

// Members group a (1-based) is filled up to: full groups while a x groupSize fits in
// n, the remainder n mod groupSize for the group after them.
int targetSize(int studentCount, int groupSize, int group);

// Member counts of groups 1..groupCount once filled: the target, cut short where the
// list of n students runs out (so groups past the remainder stay empty).
std::vector<int> groupSizes(int studentCount, int groupCount, int groupSize);

struct Grouping {
  GroupTable table;
  std::vector<int> groupOf;  // groupOf[p - 1] is the group of the student at position p
};

// Forms the groups for the rule. Group 1 is filled first, then group 2, and so on;
// within a group the slot order is the placing order. In list order group a takes
// the students at positions (a - 1) x groupSize + 1 onwards; at random each slot
// takes the h-th of the students still unplaced (in list order), h = drawIndex of
// the next draw. Empty when the rule cannot seat the whole class (see
// ruleSeatsClass) or a random grouping has no generator.
std::optional<Grouping> formGroups(std::span<const Student> students, int groupCount, int groupSize,
                                   GroupingOrder order, const UniformDraw& draw = {});

}  // namespace velquor::grouping
