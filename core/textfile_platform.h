// The file-system calls with which the program replaces its small text files; one
// implementation per system (textfile_posix.cpp, textfile_win32.cpp).
#pragma once

#include <filesystem>
#include <memory>

#include "core/replacefile.h"

namespace velquor {

// Calls for replacing `path`: one temporary name beside it ("NAME.tmp"), since only this
// program writes there; every failure is "cannot write".
std::unique_ptr<ReplaceCalls> textFileCalls(const std::filesystem::path& path);

}  // namespace velquor
