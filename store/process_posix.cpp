// Process and machine names on POSIX systems.
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "store/programstore.h"

namespace velquor::store {

std::string hostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return "localhost";
  return name;
}

long processId() { return static_cast<long>(::getpid()); }

bool processRunning(long pid) { return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM; }

}  // namespace velquor::store
