// .xlsx input (see xlsx_package.h) either parses or fails with WorkbookError (see read_all.h).
#include "fuzz/read_all.h"
#include "fuzz/xlsx_package.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  readAll(xlsxfuzz::input(data, size));
  return 0;
}
