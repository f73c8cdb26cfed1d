// Read-modify-write of .xlsx input (see xlsx_package.h and rmw_rounds.h).
#include "fuzz/rmw_rounds.h"
#include "fuzz/xlsx_package.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  readModifyWrite(xlsxfuzz::input(data, size));
  return 0;
}
