#include "graphics/wipe_crack.h"

#include <algorithm>

#include "core/error.h"
#include "expr/random.h"
#include "graphics/wipe_math.h"

namespace nova::graphics {

void TWipeCrackDraw::Cut(int w, int h, int size, expr::StandardRandom& random) {
  m_size = size;
  m_height = h;
  const auto columns = static_cast<int>(wipe::ceil_div(w, size)), rows = static_cast<int>(wipe::ceil_div(h, size));
  std::vector<Piece> left;
  left.reserve(static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows));
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) left.push_back({c, r, 0});
  }
  m_pieces.clear();
  m_pieces.reserve(left.size());
  while (!left.empty()) {
    const auto i = static_cast<std::size_t>(random.next(static_cast<std::int32_t>(left.size())));
    Piece p = left[i];
    left.erase(left.begin() + static_cast<std::ptrdiff_t>(i));
    p.drift = random.next(200) - 100;
    m_pieces.push_back(p);
  }
  m_fall_time = 0;
  while (Fall(m_fall_time) < h) ++m_fall_time;
}

void TWipeCrackDraw::Draw(TCustomDIBX& target, const TCustomDIBX& old_screen, std::int64_t b, std::int64_t step) const {
  const std::int64_t count = static_cast<std::int64_t>(m_pieces.size());
  auto home = [&](const Piece& p) {
    return Rect{p.column * m_size, p.row * m_size, p.column * m_size + m_size, p.row * m_size + m_size}.intersected(
        {0, 0, old_screen.GetWidth(), old_screen.GetHeight()});
  };
  for (std::int64_t j = 0; j < count; ++j) {
    if (j * step <= b) continue;
    const Rect r = home(m_pieces[static_cast<std::size_t>(j)]);
    target.Draw(r.left, r.top, false, false, false, r, old_screen);
  }
  for (std::int64_t j = count - 1; j >= 0; --j) {
    const std::int64_t t = b - j * step;
    // Beyond the fall time a piece is below the bottom whatever its row,
    // since the fall only grows from there.
    if (t < 0 || t >= m_fall_time) continue;
    const Piece& p = m_pieces[static_cast<std::size_t>(j)];
    const std::int64_t y = std::int64_t{p.row} * m_size + Fall(t);
    if (y >= m_height) continue;
    const std::int64_t x = std::int64_t{p.column} * m_size + t * p.drift / 100;
    const Rect r = home(p);
    target.Draw(wipe::to_int(x), wipe::to_int(y), false, false, false, r, old_screen);
  }
}

void TWipeCrack::SetParam(int index, std::int32_t value) {
  if (index == 0) value = std::max(value, 16);
  if (index == 1) value = std::max(value, 0);
  TCustomWipe::SetParam(index, value);
}

void TWipeCrack::OnPrepare() {
  if (!services().random) throw core::Error("WP_CRACK: the player's random generator is missing");
  m_pieces.Cut(width(), height(), m_param[0], *services().random);
}

std::int64_t TWipeCrack::Progress(std::int64_t e, std::int64_t d) const {
  const std::int64_t span =
      m_pieces.FallTime() + (static_cast<std::int64_t>(m_pieces.Pieces().size()) - 1) * std::int64_t{m_param[1]};
  return wipe::scale(span, e, d);
}

void TWipeCrack::Draw(std::int64_t e, std::int64_t d) {
  wipe::copy_whole(target(), new_screen());
  m_pieces.Draw(target(), old_screen(), Progress(e, d), m_param[1]);
}

}  // namespace nova::graphics
