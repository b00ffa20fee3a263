// Threads kept between the corrections of one device object: a thread started
// afresh for each plate costs up to a quarter of a millisecond before it runs
// here, and the last of seven began its share milliseconds late.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace zentrac {

class WorkerPool {
 public:
  WorkerPool() = default;
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // work(0) .. work(parts - 1) at once, work(0) on the caller's thread;
  // returns when all have returned. Parts for which no thread could be
  // started run on the caller's thread after work(0), so no part may wait
  // for another. One caller at a time.
  void run(std::size_t parts, const std::function<void(std::size_t part)>& work);

  // tasks 0 .. tasks - 1 handed out one at a time to parts threads as each
  // becomes free: task(index, part), part telling the thread's own storage.
  template <class Task>
  void share(std::size_t parts, std::size_t tasks, Task task) {
    std::atomic<std::size_t> next{0};
    run(parts, [&](std::size_t part) {
      for (std::size_t i; (i = next.fetch_add(1, std::memory_order_relaxed)) < tasks;) task(i, part);
    });
  }

 private:
  // One thread's start signal, on a cache line of its own.
  struct alignas(64) Worker {
    std::atomic<std::uint32_t> round{0};
    std::thread thread;
  };
  void serve(Worker& self, std::size_t part);

  std::vector<std::unique_ptr<Worker>> workers_;  // worker i - 1 serves part i
  const std::function<void(std::size_t)>* work_ = nullptr;
  std::atomic<std::uint32_t> running_{0};  // workers not yet returned from this run
  std::atomic<bool> stop_{false};
};

}  // namespace zentrac
