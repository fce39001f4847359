// Whether the processor can run the AVX2 search loops. glibc's loader has
// asked the processor already, and <sys/platform/x86.h> reads its answer;
// __builtin_cpu_supports links libgcc's constructor that asks again at every
// start-up of every program, and CPUID is slow under a hypervisor.
#pragma once

#if defined(__x86_64__) || defined(__i386__)
// clang cannot read glibc 2.36's header in C++ (it uses C's _Bool); clang
// builds keep the builtin.
#if __has_include(<sys/platform/x86.h>) && !defined(__clang__)
#include <sys/platform/x86.h>
#endif

namespace velmora {

inline bool HaveAvx2() {
#ifdef CPU_FEATURE_ACTIVE
  return CPU_FEATURE_ACTIVE(AVX2);
#else
  return __builtin_cpu_supports("avx2");
#endif
}

}  // namespace velmora
#endif
