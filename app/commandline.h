// The few command-line options a terminal user or an installer's check may give. They are
// answered before any window exists, so they work without a display.
#pragma once

#include <optional>

namespace velquor {

// Handles --version, --help and --paths: shows the answer (platform::showCommandLineText) and returns
// the exit code. Returns nothing when the program should start its windows; options the
// window toolkit takes itself (-platform, -style, …) are left to it.
std::optional<int> answerCommandLine(int argc, char* argv[]);

}  // namespace velquor
