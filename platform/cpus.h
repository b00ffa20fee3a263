// The processor as this process may use it: how many CPUs its affinity mask
// lets it run on, and the vector paths hot loops are built for.
#pragma once

namespace platform {

// The CPUs this process may run on (its affinity mask, which taskset, cgroups
// and containers narrow), at least 1; the machine's count when the mask
// cannot be read.
unsigned usableCpus();

}  // namespace platform

// Builds a hot loop for the wide vector units too, chosen at run time by the
// processor found. Under ThreadSanitizer, whose run time starts after the
// choice is made, the baseline only.
#if defined(__SANITIZE_THREAD__)
#define NDT_VECTOR_CLONES
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define NDT_VECTOR_CLONES
#endif
#endif
#ifndef NDT_VECTOR_CLONES
#define NDT_VECTOR_CLONES __attribute__((target_clones("avx512f", "avx2", "default")))
#endif
