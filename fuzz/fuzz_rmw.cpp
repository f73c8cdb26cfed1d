// Read-modify-write of any input (see rmw_rounds.h).
#include "fuzz/rmw_rounds.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  readModifyWrite(std::vector<std::uint8_t>(data, data + size));
  return 0;
}
