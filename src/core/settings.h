// Process-wide settings shared by the subsystems.
#ifndef KMV_CORE_SETTINGS_H
#define KMV_CORE_SETTINGS_H

#include <cstdint>

namespace kmv {

inline constexpr int32_t kDefaultMaxBufSize = 10485760;
inline constexpr int32_t kMinMaxBufSize = 8192;
inline constexpr float kVersion = 1.01f;

// The most bytes taken from one file. Plain and unguarded, like the rest of
// the process-wide state.
extern int32_t max_buf_size;

}  // namespace kmv

// Exports a data object under its own name and under the name with a
// leading underscore, as an alias of the same object. The alias is weak so
// that a program holding a copy of the object (a copy relocation) gets one
// copy for both names.
#define KMV_ALIAS(type, target, declarator) \
  extern "C" KMV_API type declarator __attribute__((weak, alias(#target)))

#endif
