// Work shared between the cores: a loop over indexes on a few threads, and steps of that loop
// that must run one at a time in the order of the indexes (reading one stream front to back).
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>

namespace velquor::roster::detail {

// Runs fn(0) .. fn(n - 1) on up to `threads` threads (0: as many as the machine has cores),
// taking the indexes in order; the first exception thrown is rethrown once all have ended.
void parallelFor(std::size_t n, const std::function<void(std::size_t)>& fn, std::size_t threads = 0);

// Steps of the tasks of a parallelFor run one at a time in the order of the task indexes; the
// rest of each task overlaps with the others.
class InTurn {
 public:
  // Runs `step` once the steps of every index before `index` have run. False, without running
  // it, when an earlier step threw; a step that throws rethrows here.
  bool take(std::size_t index, const std::function<void()>& step);

 private:
  std::mutex m_;
  std::condition_variable done_;
  std::size_t next_ = 0;
  bool failed_ = false;
};

}  // namespace velquor::roster::detail
