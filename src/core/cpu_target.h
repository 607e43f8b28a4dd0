// Code built for processor features the program does not assume (AVX2,
// AVX-512) goes between NOVA_TARGET_BEGIN("features") and NOVA_TARGET_END(),
// after every library header the file needs:
//
//   #include <immintrin.h>
//   #include <vector>
//   #include "graphics/kernels.h"
//   NOVA_TARGET_BEGIN("avx2")
//   #include "graphics/kernels_x86.h"   // private templates, internal linkage
//   ... the file's own kernels ...
//   NOVA_TARGET_END()
//
// A file-wide -mavx2 would also build the out-of-line copies of the inline
// and template functions it uses from shared headers (std::vector, std::min,
// our own helpers) with those instructions; the linker keeps one copy of
// each for the whole program, perhaps that one, and a processor without the
// features then stops on an illegal instruction far from any kernel. The
// region gives the features only to functions declared inside it, so the
// shared copies stay plain. Headers included inside the region must keep
// everything they define internal (an unnamed namespace), so that no symbol
// is built twice with different instructions.
#pragma once

#define NOVA_TARGET_PRAGMA(x) _Pragma(#x)

#if defined(__clang__)
#define NOVA_TARGET_BEGIN(features) \
  NOVA_TARGET_PRAGMA(clang attribute push(__attribute__((target(features))), apply_to = function))
#define NOVA_TARGET_END() NOVA_TARGET_PRAGMA(clang attribute pop)
#elif defined(__GNUC__)
#define NOVA_TARGET_BEGIN(features) NOVA_TARGET_PRAGMA(GCC push_options) NOVA_TARGET_PRAGMA(GCC target(features))
#define NOVA_TARGET_END() NOVA_TARGET_PRAGMA(GCC pop_options)
#else
#error "cpu_target.h: regions of processor features are not built for this compiler yet"
#endif
