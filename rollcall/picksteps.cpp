#include "rollcall/picksteps.h"

#include <cmath>

namespace velquor::rollcall {

std::optional<int> randomPosition(double r, int poolCount) {
  if (poolCount < 1) return std::nullopt;
  int pos = static_cast<int>(std::floor(r * poolCount + 1.0));
  // A generator that ever returned 1.0 must still land on a live position.
  if (pos < 1) pos = 1;
  if (pos > poolCount) pos = poolCount;
  return pos;
}

int nextNumber(int current, int low, int high) {
  if (low <= current && current < high) return current + 1;
  return low;
}

Seat nextSeat(Seat last, int rows, int columns) {
  const bool inside = last.row >= 1 && last.row <= rows && last.column >= 1 && last.column <= columns;
  if (!inside) return {1, 1};
  if (last.column < columns) return {last.row, last.column + 1};
  return {last.row < rows ? last.row + 1 : 1, 1};
}

std::optional<Seat> seatOfIndex(int s, int columns) {
  if (columns < 1) return std::nullopt;
  // Truncating division, as the seat index is always 1 or more in a built pool.
  return Seat{(s - 1) / columns + 1, (s - 1) % columns + 1};
}

std::string numberCaption(int number) { return std::to_string(number); }

std::string seatCaption(Seat seat) {
  return std::to_string(seat.row) + "行\r\n" + std::to_string(seat.column) + "列";
}

}  // namespace velquor::rollcall
