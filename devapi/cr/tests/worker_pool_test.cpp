#include "devapi/cr/internal/worker_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

namespace zentrac {
namespace {

// Every part runs once per call and every task once, whatever the split,
// across calls that grow and shrink the threads in use.
TEST(WorkerPool, EveryPartAndTaskRunsOnce) {
  WorkerPool pool;
  for (const std::size_t parts : {1u, 4u, 8u, 2u, 8u, 3u, 1u}) {
    std::vector<std::atomic<int>> ran(parts);
    pool.run(parts, [&](std::size_t part) { ran[part].fetch_add(1); });
    for (std::size_t i = 0; i < parts; ++i) EXPECT_EQ(ran[i].load(), 1) << "part " << i << " of " << parts;

    for (const std::size_t tasks : {0u, 1u, 7u, 100u}) {
      std::vector<std::atomic<int>> done(tasks);
      std::atomic<bool> partInRange{true};
      pool.share(parts, tasks, [&](std::size_t task, std::size_t part) {
        done[task].fetch_add(1);
        if (part >= parts) partInRange = false;
      });
      for (std::size_t i = 0; i < tasks; ++i) EXPECT_EQ(done[i].load(), 1) << "task " << i << ", " << parts << " parts";
      EXPECT_TRUE(partInRange);
    }
  }
}

// A part may take long: the call returns only after it.
TEST(WorkerPool, ReturnsAfterTheSlowestPart) {
  WorkerPool pool;
  std::atomic<int> finished{0};
  pool.run(4, [&](std::size_t part) {
    if (part == 3) {
      volatile long spin = 0;
      for (long i = 0; i < 5000000; ++i) spin = spin + i;
    }
    finished.fetch_add(1);
  });
  EXPECT_EQ(finished.load(), 4);
}

}  // namespace
}  // namespace zentrac
