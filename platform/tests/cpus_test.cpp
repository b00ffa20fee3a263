#include "platform/cpus.h"

#include <gtest/gtest.h>
#include <sched.h>

#include <thread>
#include <vector>

// The count follows the affinity mask, which taskset and containers narrow,
// not the machine's count of CPUs.
TEST(Cpus, UsableCpusFollowTheAffinityMask) {
  cpu_set_t allowed;
  ASSERT_EQ(sched_getaffinity(0, sizeof allowed, &allowed), 0);
  EXPECT_EQ(platform::usableCpus(), unsigned(CPU_COUNT(&allowed)));
  std::vector<int> cpus;
  for (int c = 0; c < CPU_SETSIZE; ++c)
    if (CPU_ISSET(c, &allowed)) cpus.push_back(c);
  // On a thread of its own, so that the test's own mask stays as it is.
  for (const std::size_t n : {std::size_t(1), std::size_t(2)}) {
    if (cpus.size() < n) continue;
    unsigned seen = 0;
    std::thread([&] {
      cpu_set_t some;
      CPU_ZERO(&some);
      for (std::size_t i = 0; i < n; ++i) CPU_SET(cpus[i], &some);
      if (sched_setaffinity(0, sizeof some, &some) == 0) seen = platform::usableCpus();
    }).join();
    EXPECT_EQ(seen, unsigned(n));
  }
}
