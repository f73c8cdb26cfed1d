// Taking back calls made by mistake. Each call remembers what its removal changes in the
// pool and what the name label showed after it, so the calls of the day can be taken back
// one by one, newest first, down to the start of the day. No widget in here.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "rollcall/pool.h"

namespace velquor::rollcall {

// What the window showed after a call (or at the start of the day).
struct Shown {
  std::string caption;  // the name label's caption
  int student = 0;      // name list: class position of the student shown; 0 for nobody
  int number = 0;       // the current student's number
  int group = 0;        // the current group (seat category: the row shown)
  int value = 0;        // the number, or the seat's column, shown
  int pickPos = 0;
  bool operator==(const Shown&) const = default;
};

// One removal's change to the pool, kept small: the rows it overwrote, or the whole pool
// when the removal empties and refills it (once per round of the class).
class PoolChange {
 public:
  // Taken just before the removal at `pickPos` from a pool of `poolCount` live entries.
  static PoolChange before(const PickPool& pool, int poolCount, int pickPos);
  // Puts the pool back as it was before the removal. False, changing nothing, when the
  // pool is not in the state the removal left (another form, another count).
  bool undo(PickPool& pool, int& poolCount) const;

 private:
  int pickPos_ = 0;
  int countBefore_ = 0;
  PickPool whole_;  // the pool before a removal that refills it
  PickPool saved_;  // otherwise: rows pickPos and the cleared one, as they were
};

class CallHistory {
 public:
  // A new day's pool (a class loaded, a range accepted): nothing can be taken back.
  void startDay(int category, Shown start);
  // A call is about to take its candidate out of the pool; `shown` is what the window
  // shows for it and `writeEnabledBefore` whether writing a mark was possible before it.
  void record(int category, const PickPool& pool, int poolCount, int pickPos, bool writeEnabledBefore, Shown shown);
  bool canTakeBack(int category) const { return !calls_.empty() && category == category_; }
  int size() const { return static_cast<int>(calls_.size()); }
  // What the last call showed, or the start of the day.
  const Shown& lastShown() const { return calls_.empty() ? start_ : calls_.back().shown; }

  struct TakenBack {
    Shown shown;         // what to show now: the previous call, or the start of the day
    bool startOfDay;     // no call is left before it
    bool writeEnabled;   // whether writing a mark was possible before the call taken back
  };
  // Takes back the last call: the candidate returns to the pool in the place it had.
  // Empty when there is nothing to take back in `category`, or the pool was changed by
  // something other than the calls recorded (the history is then forgotten).
  std::optional<TakenBack> takeBack(int category, PickPool& pool, int& poolCount);

 private:
  struct Call {
    PoolChange change;
    Shown shown;
    bool writeEnabledBefore = false;
  };
  std::vector<Call> calls_;
  Shown start_;
  int category_ = -1;
};

}  // namespace velquor::rollcall
