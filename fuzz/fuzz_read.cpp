// Any input either parses or fails with WorkbookError (see read_all.h).
#include "fuzz/read_all.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  readAll(std::vector<std::uint8_t>(data, data + size));
  return 0;
}
