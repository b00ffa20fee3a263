#include "devapi/cr/internal/worker_pool.h"

#include <algorithm>
#include <chrono>
#include <exception>

namespace zentrac {
namespace {

// Waits for value to leave old, spinning a while first: the passes of one
// correction follow one another within microseconds, and a sleeping thread
// takes a tenth of a millisecond to wake here.
void awaitChange(const std::atomic<std::uint32_t>& value, std::uint32_t old) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(300);
  while (value.load(std::memory_order_acquire) == old) {
    if (std::chrono::steady_clock::now() > until) {
      value.wait(old, std::memory_order_acquire);
      return;
    }
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
  }
}

}  // namespace

WorkerPool::~WorkerPool() {
  stop_.store(true, std::memory_order_relaxed);
  for (auto& w : workers_) {
    w->round.fetch_add(1, std::memory_order_release);
    w->round.notify_one();
  }
  for (auto& w : workers_) w->thread.join();
}

void WorkerPool::run(std::size_t parts, const std::function<void(std::size_t)>& work) {
  if (parts == 0) return;
  try {
    // Room first, so that a started thread is always kept and joined.
    workers_.reserve(parts - 1);
    while (workers_.size() + 1 < parts) {
      auto w = std::make_unique<Worker>();
      w->thread = std::thread([this, self = w.get(), part = workers_.size() + 1] { serve(*self, part); });
      workers_.push_back(std::move(w));
    }
  } catch (const std::exception&) {
    // Fewer threads: the caller's takes the rest. A worker whose thread did
    // not start is not kept.
  }
  const std::size_t served = std::min(parts, workers_.size() + 1);
  work_ = &work;
  running_.store(static_cast<std::uint32_t>(served - 1), std::memory_order_relaxed);
  for (std::size_t i = 0; i + 1 < served; ++i) {
    workers_[i]->round.fetch_add(1, std::memory_order_release);
    workers_[i]->round.notify_one();
  }
  work(0);
  for (std::size_t part = served; part < parts; ++part) work(part);
  for (std::uint32_t left; (left = running_.load(std::memory_order_acquire)) != 0;) awaitChange(running_, left);
  work_ = nullptr;
}

void WorkerPool::serve(Worker& self, std::size_t part) {
  for (std::uint32_t seen = 0;;) {
    awaitChange(self.round, seen);
    seen = self.round.load(std::memory_order_acquire);
    if (stop_.load(std::memory_order_relaxed)) return;
    (*work_)(part);
    if (running_.fetch_sub(1, std::memory_order_acq_rel) == 1) running_.notify_one();
  }
}

}  // namespace zentrac
