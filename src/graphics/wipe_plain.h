// The transitions that paint with the surfaces' own operations: cross-fade,
// through white or black, flash, scrolls, bamboo blinds, rubber bands, and
// the front screen shrinking or the back one growing.
#pragma once

#include "graphics/wipes.h"

namespace nova::graphics {

// The old screen, the new one blended over it at e × 256 / d, placed at
// (round(r × param 0), round(r × param 1)) with r = (d − e − 1) / d: a
// cross-fade, or a slide from that offset.
class TWipeFade : public TCustomWipe {
 public:
  using TCustomWipe::TCustomWipe;

 protected:
  void Draw(std::int64_t e, std::int64_t d) override;
};

// a = e × 511 / d: the old screen brightened by the grey a, then from 256 on
// the new screen brightened by 511 − a.
class TWipeWhite : public TCustomWipe {
 public:
  using TCustomWipe::TCustomWipe;

 protected:
  void Draw(std::int64_t e, std::int64_t d) override;
  // Adds (white) or subtracts (black) the grey over the whole target.
  virtual void Apply(std::uint32_t grey);
};

class TWipeBlack : public TWipeWhite {
 public:
  using TWipeWhite::TWipeWhite;

 protected:
  void Apply(std::uint32_t grey) override;
};

// The new screen brightened by 255 − e × 255 / d.
class TWipeFlash : public TCustomWipe {
 public:
  using TCustomWipe::TCustomWipe;

 protected:
  void Draw(std::int64_t e, std::int64_t d) override;
};

// The new screen pushes the old one out, from the right (bottom), or from
// the left (top) when reversed.
class TWipeScrollH : public TCustomWipe {
 public:
  using TCustomWipe::TCustomWipe;

 protected:
  void Draw(std::int64_t e, std::int64_t d) override;
};

class TWipeScrollV : public TCustomWipe {
 public:
  using TCustomWipe::TCustomWipe;

 protected:
  void Draw(std::int64_t e, std::int64_t d) override;
};

// Bamboo blind: one source column (row) stretched over everything left of
// (above) it, the rest copied in place; the old screen rolls up, the new one
// rolls down again.
class TWipeSudareH : public TCustomWipe {
 public:
  using TCustomWipe::TCustomWipe;

 protected:
  void Draw(std::int64_t e, std::int64_t d) override;
};

class TWipeSudareV : public TCustomWipe {
 public:
  using TCustomWipe::TCustomWipe;

 protected:
  void Draw(std::int64_t e, std::int64_t d) override;
};

// As the bamboo blind, but a band whose width swells and shrinks with
// |e − d/2| is stretched instead of one column (row).
class TWipeRubberH : public TCustomWipe {
 public:
  using TCustomWipe::TCustomWipe;

 protected:
  void Draw(std::int64_t e, std::int64_t d) override;
};

class TWipeRubberV : public TCustomWipe {
 public:
  using TCustomWipe::TCustomWipe;

 protected:
  void Draw(std::int64_t e, std::int64_t d) override;
};

// The old screen shrinks into the centre over the new one, turning by
// param 0 (in 1/256 of a turn) on the way.
class TWipeSmall : public TCustomWipe {
 public:
  using TCustomWipe::TCustomWipe;

 protected:
  void Draw(std::int64_t e, std::int64_t d) override;
};

// The new screen grows out of the centre over the old one, the turn
// unwinding to 0.
class TWipeBig : public TCustomWipe {
 public:
  using TCustomWipe::TCustomWipe;

 protected:
  void Draw(std::int64_t e, std::int64_t d) override;
};

}  // namespace nova::graphics
