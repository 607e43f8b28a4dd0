// The bases' 1280 × 720 benchmark scene at 32 bits: a full-screen
// background, two character pictures with alpha planes, a 600 × 120 box
// at opacity 128 and 20 small opaque pictures, on the front base. The
// composition benchmark composes it against pixman; other benchmarks take
// its full composition as their measure of one frame's drawing.
#pragma once

#include <cstdint>
#include <vector>

#include "components/base_list.h"
#include "graphics/memory_dibx.h"

namespace nova::bench {

using components::Rect;
using components::TComponentFactory;
using components::TNovaBaseList;
using components::TNovaControl;

constexpr int kW = 1280, kH = 720;

// A picture drawn at its place, through its alpha plane when it has one.
class TPicture final : public TNovaControl {
 public:
  graphics::TDIBX* picture = nullptr;
  graphics::TDIBX* alpha = nullptr;
  void Paint(graphics::TCustomDIBX& s) override {
    const Rect r = GetScreenRect();
    const Rect src{0, 0, picture->GetWidth(), picture->GetHeight()};
    if (alpha)
      s.DrawMasked(r.left, r.top, *alpha, false, false, src, *picture);
    else
      s.Draw(r.left, r.top, false, false, false, src, *picture);
    PaintChildren(s);
  }
};

// A box of one colour at an opacity.
class TBox final : public TNovaControl {
 public:
  void Paint(graphics::TCustomDIBX& s) override {
    s.BlendRect(GetScreenRect(), static_cast<std::uint32_t>(s.ColorToPixel(0xFFFFFF)), 128);
    PaintChildren(s);
  }
};

struct Pictures {
  graphics::TDIBX background, character, character_alpha, small;
  Pictures() {
    background.SetSize(kW, kH, 32);
    character.SetSize(400, 600, 32);
    character_alpha.SetSize(400, 600, 8);
    small.SetSize(24, 24, 32);
    std::uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    for (auto* s : {&background, &character, &small}) {
      for (int y = 0; y < s->GetHeight(); ++y) {
        for (int x = 0; x < s->GetWidth(); ++x) s->SetPixel(x, y, next() >> 8 & 0xFFFFFF);
      }
    }
    for (int y = 0; y < 600; ++y) {
      for (int x = 0; x < 400; ++x) character_alpha.SetPixel(x, y, (x + y) % 256);
    }
  }
};

inline Pictures& pictures() {
  static Pictures p;
  return p;
}

struct Scene {
  TComponentFactory factory;
  TNovaBaseList list{{factory}};
  graphics::TDIBX screen;
  std::vector<TPicture*> smalls;
  Scene() {
    Pictures& p = pictures();
    list.SetScreenSize(kW, kH);
    screen.SetSize(kW, kH, 32);
    list.SetDisplaySurface(&screen);
    add(p.background, nullptr, 0, 0);
    add(p.character, &p.character_alpha, 100, 60);
    add(p.character, &p.character_alpha, 700, 60);
    TBox& box = list.make<TBox>();
    box.SetParent(&list.front_base());
    box.SetBounds(340, 560, 600, 120);
    for (int i = 0; i < 20; ++i) smalls.push_back(&add(p.small, nullptr, 40 + i * 60, 20));
  }
  TPicture& add(graphics::TDIBX& picture, graphics::TDIBX* alpha, int x, int y) {
    TPicture& c = list.make<TPicture>();
    c.picture = &picture;
    c.alpha = alpha;
    c.SetParent(&list.front_base());
    c.SetBounds(x, y, picture.GetWidth(), picture.GetHeight());
    return c;
  }
  void compose_all() {
    list.base(0).InvalidateAll();
    list.base(1).InvalidateAll();
    list.Compose();
    list.ClearDirtyRects();
  }
};

}  // namespace nova::bench
