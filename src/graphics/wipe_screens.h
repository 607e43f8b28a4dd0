// The transitions that paint the whole target per draw from the two
// screens with their own pixel rules: mosaic, spotlight, mask white and
// black, ripple, blur through white or black, twists and the zoom.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "graphics/memory_dibx.h"
#include "graphics/wipe_kernels.h"
#include "graphics/wipes.h"

namespace nova::graphics {

// Blocks that grow from about 4 to about 43 pixels while the old screen
// gives way to the new one, then shrink back: the screens are stretched
// down into a small picture on a work surface (the target's size and bit
// count, made with the transition) and back up over the target.
class TWipeMosaic : public TCustomWipe {
 public:
  TWipeMosaic(const WipeSurfaces& surfaces, const WipeServices& services);

 protected:
  void Draw(std::int64_t e, std::int64_t d) override;

 private:
  TDIBX m_work;
};

// A bright ring spreads from the centre (reversed: from the corners
// inwards); each pixel flashes white and switches to the new screen as it
// passes. Thresholds per pixel (kept for one quarter, which the others
// mirror) are built by Prepare from the reverse flag as it then stands.
class TWipeSpot : public TCustomWipe {
 public:
  using TCustomWipe::TCustomWipe;

 protected:
  void OnPrepare() override;
  void Draw(std::int64_t e, std::int64_t d) override;

 private:
  template <class T>
  void draw_rows(detail::WipeSpotFn spot, std::int64_t b);
  // The threshold of the pixels |x − cx| = a, |y − cy| = q.
  std::int32_t threshold(int a, int q) const {
    return m_threshold[static_cast<std::size_t>(q) * static_cast<std::size_t>(m_qw) + static_cast<std::size_t>(a)];
  }

  // Per quarter pixel (a, q), row by row, m_qw = cx + 1 to a row.
  std::vector<std::int32_t> m_threshold;
  // The same for whole rows, q = 0..cy, x = 0..W − 1 (empty when the
  // progress exceeds 16 bits).
  std::vector<std::int16_t> m_row_threshold;
  int m_qw = 0;
  std::int64_t m_span = 0;
};

// Each pixel passes through white (TWipeShadowWhite) or black
// (TWipeShadowBlack) from the old to the new screen over two thirds of the
// duration, in the order of the mask picture's grey levels (bright first).
class TWipeShadowWhite : public TCustomWipe {
 public:
  using TCustomWipe::TCustomWipe;

 protected:
  void OnPrepare() override;
  void Draw(std::int64_t e, std::int64_t d) override;
  virtual bool Darkens() const { return false; }

 private:
  std::vector<std::uint8_t> m_grey;
};

class TWipeShadowBlack : public TWipeShadowWhite {
 public:
  using TWipeShadowWhite::TWipeShadowWhite;

 protected:
  bool Darkens() const override { return true; }
};

// A rippled ring of width L runs from the centre to the corners, leaving
// the new screen behind it. Distances and directions of the pixels of the
// top-left quarter are kept from creation; the other quarters mirror it.
class TWipeRipple : public TCustomWipe {
 public:
  TWipeRipple(const WipeSurfaces& surfaces, const WipeServices& services);
  // Parameter 0 is the ring's amplitude; setting it recomputes the profile.
  void SetParam(int index, std::int32_t value) override;
  const std::vector<std::int64_t>& Profile() const { return m_profile; }

 protected:
  void Draw(std::int64_t e, std::int64_t d) override;

 private:
  void make_profile();
  // The quarter's rows and their mirror images at progress b, pixels of
  // type T (the stored pixel).
  // With `kernels` (off the reference path, reaches below 2^15) the ring
  // takes its sources from the path's 32-bit kernel.
  template <class T>
  void draw_rows(std::int64_t b, std::uint8_t* dst, std::ptrdiff_t dp, const std::uint8_t* o, std::ptrdiff_t op,
                 const std::uint8_t* n, std::ptrdiff_t np, const detail::WipeKernelSet* kernels) const;
  // The ring of one row of the quarter, [begin, end), by the kernels.
  template <class T>
  void narrow_ring(const detail::WipeKernelSet& kernels, int y, int begin, int end, std::int64_t b, T* d_top,
                   T* d_bottom, const T* const* new_rows) const;

  int m_qw = 0, m_qh = 0;   // the quarter kept
  std::int64_t m_ring = 0;  // L
  std::int64_t m_reach = 0;
  std::vector<std::int32_t> m_distance;
  std::vector<std::int32_t> m_sine, m_cosine;  // 16.16
  std::vector<std::int64_t> m_profile;
  std::vector<std::int32_t> m_profile32;
  std::int64_t m_profile_reach = 0;  // the largest |profile entry|
  // Per-row scratch of the 32-bit ring: the sources' x and y.
  mutable std::vector<std::int32_t> m_sx, m_sy;
};

// Box blur of the screens used by the blur transitions: 2r + 1 taps
// rounded to the nearest, horizontal then vertical, three times, edge
// pixels repeated, each channel on its own. `out` gets the size and bit
// count of `src`.
void wipe_box_blur(const TCustomDIBX& src, TDIBX& out, int radius);

// The old screen goes soft and brightens to white (darkens to black), the
// new screen comes back from it and sharpens. The blurred copies are made
// by Prepare, radius min(W, H) div 20.
class TWipeBlurWhite : public TCustomWipe {
 public:
  using TCustomWipe::TCustomWipe;

 protected:
  void OnPrepare() override;
  void Draw(std::int64_t e, std::int64_t d) override;
  virtual void Apply(std::uint32_t grey);

 private:
  TDIBX m_blur_old, m_blur_new;
};

class TWipeBlurBlack : public TWipeBlurWhite {
 public:
  using TWipeBlurWhite::TWipeBlurWhite;

 protected:
  void Apply(std::uint32_t grey) override;
};

// Every pixel row turns around the vertical centre line (every column
// around the horizontal one), the rows one after another from the top (the
// bottom when reversed). Rows that have not started are left untouched.
class TWipeTwistH : public TCustomWipe {
 public:
  using TCustomWipe::TCustomWipe;

 protected:
  void Draw(std::int64_t e, std::int64_t d) override;
  virtual bool Columns() const { return false; }
};

class TWipeTwistV : public TWipeTwistH {
 public:
  using TWipeTwistH::TWipeTwistH;

 protected:
  bool Columns() const override { return true; }
};

// The old screen zooms into the point (parameter 0, parameter 1), then the
// new screen zooms out of it.
class TWipeZoomin : public TCustomWipe {
 public:
  using TCustomWipe::TCustomWipe;
  // The source rectangle shown at e / d, and whether it is the new screen's.
  Rect SourceRect(std::int64_t e, std::int64_t d, bool& from_new) const;

 protected:
  void Draw(std::int64_t e, std::int64_t d) override;
};

}  // namespace nova::graphics
