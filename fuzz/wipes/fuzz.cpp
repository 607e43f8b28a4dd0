// Transitions as scripts choose them: any type, parameters, reverse flag,
// duration and mask picture, over a small target of 15, 16, 24 or 32 bits,
// drawn at a sequence of elapsed values that may jump back. Every step is
// drawn twice, on the best pixel path and on the per-pixel reference, and
// the two must agree; nothing may crash, hang or allocate beyond what the
// target's size calls for.
#include <cstdlib>
#include <map>

#include "core/error.h"
#include "expr/random.h"
#include "graphics/kernels.h"
#include "graphics/memory_dibx.h"
#include "graphics/picture_files.h"
#include "graphics/wipes.h"
#include "wipe_input.h"

using namespace nova;

namespace {

class OneFile : public graphics::PictureFiles {
 public:
  explicit OneFile(std::span<const std::uint8_t> bytes) : m_bytes(bytes.begin(), bytes.end()) {}
  bool exists(const std::string& name) const override { return name == "m"; }
  std::vector<std::uint8_t> read_all(const std::string&) const override { return m_bytes; }

 private:
  std::vector<std::uint8_t> m_bytes;
};

void fill(graphics::TDIBX& s, std::uint32_t seed) {
  std::uint32_t x = seed | 1;
  for (int y = 0; y < s.GetHeight(); ++y) {
    for (int i = 0; i < s.GetWidth(); ++i) {
      x ^= x << 13;
      x ^= x >> 17;
      x ^= x << 5;
      s.SetPixel(i, y, x & (s.GetBitCount() == 32 || s.GetBitCount() == 24 ? 0xFFFFFF : 0xFFFF));
    }
  }
}

struct Run {
  graphics::TDIBX target, old_screen, new_screen;
  std::unique_ptr<graphics::TCustomWipe> wipe;
};

bool start(Run& r, const fuzz::WipeInput& in, const graphics::WipeServices& services) {
  for (auto* s : {&r.target, &r.old_screen, &r.new_screen}) s->SetSize(in.width, in.height, in.bits);
  fill(r.old_screen, in.seed);
  fill(r.new_screen, in.seed * 7 + 3);
  fill(r.target, in.seed * 13 + 5);
  r.wipe = graphics::CreateTransition(in.type, {&r.target, &r.old_screen, &r.new_screen}, services, in.duration);
  if (!r.wipe) return false;
  r.wipe->SetReverse(in.reverse);
  if (in.set_p0) r.wipe->SetParam(0, in.p0);
  if (in.set_p1) r.wipe->SetParam(1, in.p1);
  if (in.mask_name) r.wipe->SetMaskName("m");
  r.wipe->Prepare();
  return true;
}

bool same(const graphics::TDIBX& a, const graphics::TDIBX& b) {
  const std::uint32_t bits = a.GetBitCount() == 15 ? 0x7FFF : a.GetBitCount() == 16 ? 0xFFFF : 0xFFFFFF;
  for (int y = 0; y < a.GetHeight(); ++y) {
    for (int x = 0; x < a.GetWidth(); ++x) {
      if (((a.GetPixel(x, y) ^ b.GetPixel(x, y)) & bits) != 0) return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::WipeInput in;
  if (!read_wipe_input({data, size}, in)) return 0;
  const graphics::WipeGreyTables greys = graphics::make_wipe_grey_tables(in.bits == 15 ? 15 : 16);
  const OneFile files(in.mask);
  expr::StandardRandom fast_random(in.seed), ref_random(in.seed);
  Run fast, ref;
  try {
    graphics::ScopedPixelPath best(graphics::best_pixel_path());
    if (!start(fast, in, {&files, 0, &greys, &fast_random})) return 0;
  } catch (const core::Error&) {
    return 0;  // a surface the factory refuses
  }
  {
    graphics::ScopedPixelPath reference(graphics::PixelPath::Reference);
    start(ref, in, {&files, 0, &greys, &ref_random});
  }
  for (std::int32_t e : in.elapsed) {
    fast.wipe->SetElapsed(e);
    ref.wipe->SetElapsed(e);
    bool done_fast = false, done_ref = false;
    {
      graphics::ScopedPixelPath best(graphics::best_pixel_path());
      done_fast = fast.wipe->DrawStep();
    }
    {
      graphics::ScopedPixelPath reference(graphics::PixelPath::Reference);
      done_ref = ref.wipe->DrawStep();
    }
    if (done_fast != done_ref || !same(fast.target, ref.target)) std::abort();
  }
  return 0;
}
