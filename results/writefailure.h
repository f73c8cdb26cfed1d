// Why a write into the roster failed, in the words the teacher reads: the text that goes
// before "成绩没有保存。" or "分组没有保存。" (it ends with "，").
#pragma once

#include <exception>
#include <string>

#include "roster/workbook.h"

namespace velquor::results {

std::string writeFailureCause(const roster::WorkbookError& error);
// A workbook error by its kind; any other failure in general words.
std::string writeFailureCause(const std::exception& error);

}  // namespace velquor::results
