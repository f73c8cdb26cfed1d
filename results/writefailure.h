// Why a write into the roster failed, in the words the teacher reads: the text that goes
// before "成绩没有保存。" or "分组没有保存。" (it ends with "，").
#pragma once

#include <exception>
#include <string>

#include "roster/workbook.h"

namespace velquor::results {

std::string writeFailureCause(const roster::WorkbookError& error);

// Who holds the roster, as the roster component gives it ("name (computer, since)" from a
// lock file, or the name alone), in the teacher's words: "王老师（classroom-pc）", and since
// when ("" when not known).
struct HolderShown {
  std::string who;
  std::string since;
};
HolderShown showHolder(const std::string& holder);
// A workbook error by its kind; any other failure in general words.
std::string writeFailureCause(const std::exception& error);

// Where loading a class failed: opening the roster and its sheet, counting the students (a
// class list with no end before the last row the program can hold), or finding today's
// column (every column taken by other days).
enum class LoadStep { Open, Count, TodayColumn };
// The message for a class that cannot be loaded, naming the class and the cause.
std::string classLoadFailure(const std::exception& error, LoadStep step, const std::string& className,
                             const std::string& today);

}  // namespace velquor::results
