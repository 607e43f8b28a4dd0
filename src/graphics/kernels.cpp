#include "graphics/kernels.h"

#include <array>
#include <atomic>

namespace nova::graphics {
namespace {

bool cpu_has_avx2() {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

bool cpu_has_sse2() {
#if defined(__x86_64__)
  return true;
#else
  return false;
#endif
}

// The kernel sets, built once. Each starts as the portable set and the
// vector files replace what they provide, so a gap falls back to portable.
struct Sets {
  detail::KernelSet portable{};
  detail::KernelSet sse2{};
  detail::KernelSet avx2{};
  std::array<PixelPath, 4> paths{};
  int path_count = 0;

  Sets() {
    detail::fill_portable_kernels(portable);
    paths[path_count++] = PixelPath::Reference;
    paths[path_count++] = PixelPath::Portable;
    if (cpu_has_sse2()) {
      sse2 = portable;
      detail::fill_sse2_kernels(sse2);
      paths[path_count++] = PixelPath::Sse2;
    }
    if (cpu_has_avx2()) {
      avx2 = portable;
      detail::fill_avx2_kernels(avx2);
      paths[path_count++] = PixelPath::Avx2;
    }
  }
  bool has(PixelPath p) const {
    for (int i = 0; i < path_count; ++i) {
      if (paths[i] == p) return true;
    }
    return false;
  }
};

const Sets& sets() {
  static const Sets s;
  return s;
}

std::atomic<PixelPath>& current() {
  static std::atomic<PixelPath> path{best_pixel_path()};
  return path;
}

}  // namespace

std::string_view pixel_path_name(PixelPath p) {
  switch (p) {
    case PixelPath::Reference: return "reference";
    case PixelPath::Portable: return "portable";
    case PixelPath::Sse2: return "sse2";
    case PixelPath::Avx2: return "avx2";
  }
  return "?";
}

std::span<const PixelPath> available_pixel_paths() {
  const Sets& s = sets();
  return {s.paths.data(), static_cast<std::size_t>(s.path_count)};
}

PixelPath best_pixel_path() { return available_pixel_paths().back(); }

PixelPath pixel_path() { return current().load(std::memory_order_relaxed); }

bool force_pixel_path(PixelPath p) {
  if (!sets().has(p)) return false;
  current().store(p, std::memory_order_relaxed);
  return true;
}

namespace detail {

const KernelSet* kernels_for(PixelPath p) {
  const Sets& s = sets();
  if (!s.has(p)) return nullptr;
  switch (p) {
    case PixelPath::Reference: return nullptr;
    case PixelPath::Portable: return &s.portable;
    case PixelPath::Sse2: return &s.sse2;
    case PixelPath::Avx2: return &s.avx2;
  }
  return nullptr;
}

const KernelSet* active_kernels() { return kernels_for(pixel_path()); }

}  // namespace detail
}  // namespace nova::graphics
