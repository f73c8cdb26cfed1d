// The arithmetic of one pick: random pool positions, the in-order successors of numbers
// and seats, seat indices, and the captions of the name label. No widget in here.
#pragma once

#include <optional>
#include <string>

namespace velquor::rollcall {

// A pool position from a uniform draw r in [0, 1): 1..poolCount. Empty for an empty pool.
std::optional<int> randomPosition(double r, int poolCount);

// The number after `current` in order: current + 1 while low <= current < high, otherwise
// low (also when nothing has been shown yet or the range has moved).
int nextNumber(int current, int low, int high);

struct Seat {
  int row = 0;
  int column = 0;
  bool operator==(const Seat&) const = default;
};

// The seat after `last` in a layout of rows x columns: along the row, then the next row,
// after the last seat the first. A `last` outside the layout (as at start) gives 1, 1.
Seat nextSeat(Seat last, int rows, int columns);

// Row and column of seat index s (1-based, row by row) with `columns` seats per row;
// empty when columns < 1.
std::optional<Seat> seatOfIndex(int s, int columns);

// Captions of the name label: "17", "-3"; "2行" CR LF "5列".
std::string numberCaption(int number);
std::string seatCaption(Seat seat);

}  // namespace velquor::rollcall
