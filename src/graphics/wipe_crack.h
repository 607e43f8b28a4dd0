// WP_CRACK: the old screen breaks into square pieces that fall away one
// after another, each drifting sideways, uncovering the new screen.
//
// Parameter 0 is the piece size P (at least 16), parameter 1 the delay S
// between the starts of two pieces (at least 0). Prepare cuts the target
// into ceil(W / P) × ceil(H / P) pieces and orders them with the player's
// standard generator, each piece drawing a drift from −100 to 99. Every
// draw derives each piece from the progress alone, so a film that jumps
// back draws what a fresh transition would.
#pragma once

#include <cstdint>
#include <vector>

#include "graphics/wipes.h"

namespace nova::graphics {

// The falling pieces.
class TWipeCrackDraw {
 public:
  struct Piece {
    int column = 0;
    int row = 0;
    int drift = 0;  // -100 .. 99
  };

  // Cuts a w × h target into pieces of `size` in a random order.
  void Cut(int w, int h, int size, expr::StandardRandom& random);
  const std::vector<Piece>& Pieces() const { return m_pieces; }
  int Size() const { return m_size; }
  // The fall time T: the smallest t >= 0 with fall(t) >= h.
  std::int64_t FallTime() const { return m_fall_time; }
  // How far a piece has moved down t steps after its start:
  // (5t² − 1500t) div 1000 (it rises a little, then falls faster and
  // faster). Meant for 0 <= t < FallTime().
  static std::int64_t Fall(std::int64_t t) { return (5 * t * t - 1500 * t) / 1000; }

  // The old screen's pieces at progress b over `target` (which already
  // shows the new screen): waiting pieces at home, then the started ones
  // from the last to the first, each where its fall puts it; a piece whose
  // top reaches the bottom is gone.
  void Draw(TCustomDIBX& target, const TCustomDIBX& old_screen, std::int64_t b, std::int64_t step) const;

 private:
  std::vector<Piece> m_pieces;
  int m_size = 16;
  int m_height = 0;
  std::int64_t m_fall_time = 0;
};

class TWipeCrack : public TCustomWipe {
 public:
  using TCustomWipe::TCustomWipe;
  void SetParam(int index, std::int32_t value) override;
  const TWipeCrackDraw& Pieces() const { return m_pieces; }
  // The progress b at e / d: e × (T + (pieces − 1) × S) / d.
  std::int64_t Progress(std::int64_t e, std::int64_t d) const;

 protected:
  void OnPrepare() override;
  void Draw(std::int64_t e, std::int64_t d) override;

 private:
  TWipeCrackDraw m_pieces;
};

}  // namespace nova::graphics
