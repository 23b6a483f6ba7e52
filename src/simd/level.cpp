// The CPU feature test and the KMV_SIMD override.
#include "simd/level.h"

#include <cstdlib>
#include <cstring>

#include "simd/kernels.h"

namespace kmv::simd {

Kernels active{};

namespace {

Level best_level() {
  if (cpu_has(Level::kAvx512)) return Level::kAvx512;
  if (cpu_has(Level::kAvx2)) return Level::kAvx2;
  return Level::kSse2;
}

Level level_asked(Level fallback) {
  const char *asked = std::getenv("KMV_SIMD");
  if (asked == nullptr) return fallback;
  for (Level level : kLevels) {
    if (std::strcmp(asked, level_name(level)) == 0 && cpu_has(level)) {
      return level;
    }
  }
  return fallback;
}

Level current = Level::kSse2;

// Before main, so that no conversion sees a half-set table; until then the
// zeroed table keeps every helper on its inline baseline.
__attribute__((constructor)) void choose_level() {
  use_level(level_asked(best_level()));
}

}  // namespace

bool cpu_has(Level level) {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  switch (level) {
    case Level::kSse2:
      return true;
    case Level::kAvx2:
      return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2");
    case Level::kAvx512:
      return __builtin_cpu_supports("avx512bw") &&
             __builtin_cpu_supports("avx512vl") &&
             __builtin_cpu_supports("avx512vbmi") &&
             __builtin_cpu_supports("avx512vbmi2") &&
             __builtin_cpu_supports("bmi2");
  }
  return false;
#else
  return level == Level::kSse2;
#endif
}

bool use_level(Level level) {
  if (!cpu_has(level)) return false;
  switch (level) {
    case Level::kSse2:
      active = Kernels{};
      break;
    case Level::kAvx2:
      active = avx2_kernels();
      break;
    case Level::kAvx512:
      active = avx512_kernels();
      break;
  }
  current = level;
  return true;
}

Level current_level() {
  return current;
}

const char *level_name(Level level) {
  switch (level) {
    case Level::kSse2:
      return "sse2";
    case Level::kAvx2:
      return "avx2";
    case Level::kAvx512:
      return "avx512";
  }
  return "";
}

}  // namespace kmv::simd
