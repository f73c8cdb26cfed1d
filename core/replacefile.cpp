#include "core/replacefile.h"

namespace velquor {

void replaceFile(ReplaceCalls& calls, const std::filesystem::path& target, const std::uint8_t* data, std::size_t size,
                 const std::function<void(int handle)>& finish, const std::function<void()>& replaced) {
  int handle = -1;
  bool open = false;
  std::filesystem::path tmp;
  try {
    tmp = calls.createTemp(target, handle);
    open = true;
    calls.write(handle, data, size);
    calls.sync(handle);
    if (finish) finish(handle);
    open = false;
    calls.close(handle);
    calls.rename(tmp, target);
  } catch (...) {
    if (open) {
      try {
        calls.close(handle);
      } catch (...) {
      }
    }
    if (!tmp.empty()) calls.remove(tmp);
    throw;
  }
  if (replaced) replaced();
  calls.syncDirectory(target.parent_path());
}

}  // namespace velquor
