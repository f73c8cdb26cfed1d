#include "grouping/formation.h"

#include <algorithm>
#include <cmath>

#include "grouping/grouprule.h"

namespace velquor::grouping {

namespace {

// The students not yet placed, kept in list order, as a Fenwick tree of presence
// counts: taking the h-th remaining one costs O(log n) instead of shifting the rest
// of the list down, and picks exactly the student the shifting list would.
class UnplacedStudents {
 public:
  explicit UnplacedStudents(int count) : tree_(static_cast<std::size_t>(count) + 1) {
    // Every position is present, so each node counts the lowbit-long range it covers.
    for (int i = 1; i <= count; ++i) tree_[static_cast<std::size_t>(i)] = i & -i;
    top_ = 1;
    while (top_ * 2 <= count) top_ *= 2;
    if (count == 0) top_ = 0;
  }

  // Removes and returns the position of the h-th remaining student (1 <= h <= remaining).
  int take(int h) {
    const int count = static_cast<int>(tree_.size()) - 1;
    int pos = 0;
    for (int step = top_; step > 0; step /= 2) {
      const int next = pos + step;
      if (next <= count && tree_[static_cast<std::size_t>(next)] < h) {
        pos = next;
        h -= tree_[static_cast<std::size_t>(next)];
      }
    }
    const int found = pos + 1;
    for (int i = found; i <= count; i += i & -i) --tree_[static_cast<std::size_t>(i)];
    return found;
  }

 private:
  std::vector<int> tree_;
  int top_ = 0;
};

}  // namespace

int drawIndex(double r, int remaining) {
  if (remaining < 1) return 0;
  // NaN and values outside [0, 1) from a faulty generator still land on an entry.
  if (!(r >= 0.0)) return 1;
  const double h = std::floor(r * remaining) + 1.0;
  return h > remaining ? remaining : static_cast<int>(h);
}

int targetSize(int studentCount, int groupSize, int group) {
  if (groupSize <= 0 || group < 1) return 0;
  return studentCount / group >= groupSize ? groupSize : studentCount % groupSize;
}

std::vector<int> groupSizes(int studentCount, int groupCount, int groupSize) {
  std::vector<int> sizes(static_cast<std::size_t>(std::max(groupCount, 0)), 0);
  for (int a = 1; a <= groupCount; ++a) {
    // Positions of group a start after (a - 1) full groups; none are left past n.
    const long long before = static_cast<long long>(a - 1) * groupSize;
    const long long left = std::max(0LL, studentCount - before);
    sizes[static_cast<std::size_t>(a - 1)] =
        static_cast<int>(std::min<long long>(targetSize(studentCount, groupSize, a), left));
  }
  return sizes;
}

std::optional<Grouping> formGroups(std::span<const Student> students, int groupCount, int groupSize,
                                   GroupingOrder order, const UniformDraw& draw) {
  const int n = static_cast<int>(students.size());
  if (!ruleSeatsClass(n, groupCount, groupSize)) return std::nullopt;
  if (order == GroupingOrder::Random && !draw) return std::nullopt;

  Grouping result;
  result.table.reset(groupCount);
  result.groupOf.assign(static_cast<std::size_t>(n), 0);
  const std::vector<int> sizes = groupSizes(n, groupCount, groupSize);

  UnplacedStudents unplaced(order == GroupingOrder::Random ? n : 0);
  int remaining = n;
  int position = 0;  // in list order: the last position placed
  for (int a = 1; a <= groupCount; ++a) {
    const int size = sizes[static_cast<std::size_t>(a - 1)];
    auto& members = result.table.members(a);
    members.reserve(static_cast<std::size_t>(size));
    for (int j = 1; j <= size; ++j) {
      int k = 0;
      if (order == GroupingOrder::InOrder) {
        k = ++position;
      } else {
        k = unplaced.take(drawIndex(draw(), remaining));
        --remaining;
      }
      const Student& student = students[static_cast<std::size_t>(k - 1)];
      members.push_back(Member{student.number, student.name, k});
      result.groupOf[static_cast<std::size_t>(k - 1)] = a;
    }
  }
  return result;
}

}  // namespace velquor::grouping
