#include "roster/xlsx/parallel.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

namespace velquor::roster::detail {

void parallelFor(std::size_t n, const std::function<void(std::size_t)>& fn, std::size_t most) {
  const std::size_t threads = std::min<std::size_t>(n, most ? most : std::max(1u, std::thread::hardware_concurrency()));
  if (threads <= 1) {
    for (std::size_t i = 0; i < n; ++i) fn(i);
    return;
  }
  std::atomic<std::size_t> next{0};
  std::exception_ptr failure;
  std::mutex m;
  auto work = [&] {
    for (std::size_t i; (i = next++) < n;) {
      try {
        fn(i);
      } catch (...) {
        const std::lock_guard<std::mutex> lock(m);
        if (!failure) failure = std::current_exception();
        next = n;  // the others stop at their next item
      }
    }
  };
  std::vector<std::thread> pool;
  for (std::size_t t = 1; t < threads; ++t) {
    try {
      pool.emplace_back(work);
    } catch (const std::system_error&) {
      break;  // no thread to be had: the ones running take the rest
    }
  }
  work();
  for (std::thread& t : pool) t.join();
  if (failure) std::rethrow_exception(failure);
}

bool InTurn::take(std::size_t index, const std::function<void()>& step) {
  std::unique_lock<std::mutex> lock(m_);
  done_.wait(lock, [&] { return next_ == index || failed_; });
  if (failed_) return false;
  try {
    step();
  } catch (...) {
    failed_ = true;
    done_.notify_all();
    throw;
  }
  ++next_;
  done_.notify_all();
  return true;
}

}  // namespace velquor::roster::detail
