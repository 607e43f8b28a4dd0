#include "graphics/wipe_mask.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/error.h"
#include "core/log.h"
#include "expr/random.h"
#include "files/stream.h"
#include "graphics/picture_files.h"
#include "graphics/wipe_kernels.h"
#include "graphics/wipe_math.h"

namespace nova::graphics {

using wipe::ceil_div;
using wipe::round_even;
using wipe::scale;

// --- Composition ---------------------------------------------------------------------

namespace {

int row_format(int bit_count) { return bit_count == 32 ? 0 : bit_count == 16 ? 1 : bit_count == 15 ? 2 : -1; }

// Pixel by pixel, for the layouts without kernels and the reference path.
void compose_reference(TCustomDIBX& target, const TCustomDIBX& old_screen, const TCustomDIBX& new_screen,
                       const TDIBX& mask) {
  const ChannelMasks masks = masks_for_bit_count(target.GetBitCount());
  const int w = target.GetWidth(), h = target.GetHeight(), mh = mask.GetHeight();
  for (int y = 0; y < h; ++y) {
    const int my = y % mh;
    for (int x = 0; x < w; ++x) {
      const std::uint32_t m = mask.GetPixel(x, my);
      const std::uint32_t o = old_screen.GetPixel(x, y), n = new_screen.GetPixel(x, y);
      if (m == 0) {
        target.SetPixel(x, y, o);
      } else if (m == 255) {
        target.SetPixel(x, y, n);
      } else {
        std::uint32_t v = 0;
        for (int c = 0; c < masks.count; ++c) {
          const std::uint64_t cm = masks.list[static_cast<std::size_t>(c)];
          v |= static_cast<std::uint32_t>((((o & cm) * (255 - m) + (n & cm) * m) >> 8) & cm);
        }
        target.SetPixel(x, y, v);
      }
    }
  }
}

}  // namespace

void compose_masked_rows(TCustomDIBX& target, const TCustomDIBX& old_screen, const TCustomDIBX& new_screen,
                         const TDIBX& mask, bool binary) {
  const int w = target.GetWidth(), h = target.GetHeight(), mh = mask.GetHeight();
  if (w == 0 || h == 0 || mh == 0 || mask.GetWidth() < w) return;
  const int format = row_format(target.GetBitCount());
  const detail::WipeKernelSet* set = detail::wipe_kernels_for(pixel_path());
  if (!set || format < 0) {
    compose_reference(target, old_screen, new_screen, mask);
    return;
  }
  const detail::WipeRowFn fn = binary ? set->select[format] : set->mix[format];
  std::uint8_t* dst = target.Lock(0, 0);
  const std::uint8_t* o = old_screen.LockRead(0, 0);
  const std::uint8_t* n = new_screen.LockRead(0, 0);
  const std::uint8_t* m = mask.LockRead(0, 0);
  if (dst && o && n && m) {
    const std::ptrdiff_t dp = target.GetPitch(), op = old_screen.GetPitch(), np = new_screen.GetPitch(),
                         mp = mask.GetPitch();
    for (int y = 0; y < h; ++y) {
      detail::WipeRowJob job;
      job.dst = dst + dp * y;
      job.old_row = o + op * y;
      job.new_row = n + np * y;
      job.mask = m + mp * (y % mh);
      job.count = w;
      fn(job);
    }
  }
  if (m) mask.UnlockRead();
  if (n) new_screen.UnlockRead();
  if (o) old_screen.UnlockRead();
  if (dst) target.Unlock();
}

// --- TWipeMask ---------------------------------------------------------------------------

TWipeMask::TWipeMask(const WipeSurfaces& surfaces, const WipeServices& services) : TCustomWipe(surfaces, services) {}

void TWipeMask::SetParam(int index, std::int32_t value) {
  if (index == 0) value = std::max(value, 2);
  if (index == 1) value = std::max(value, 1);
  TCustomWipe::SetParam(index, value);
  forget_mask();
}

void TWipeMask::SetReverse(bool reverse) {
  TCustomWipe::SetReverse(reverse);
  forget_mask();
}

void TWipeMask::OnPrepare() {
  m_mask.SetSize(width(), std::max(1, MaskHeight()), 8);
  m_binary = false;
  m_last = -1;
  m_last_d = -1;
}

bool TWipeMask::UpdateMask(std::int64_t e, std::int64_t d) {
  const std::int64_t p = Progress(e, d);
  if (p == m_last && (!m_progress_is_elapsed || d == m_last_d)) return false;
  Build(p, e, d);
  m_last = p;
  m_last_d = d;
  ++m_builds;
  return true;
}

void TWipeMask::Draw(std::int64_t e, std::int64_t d) {
  UpdateMask(e, d);
  compose_masked_rows(target(), old_screen(), new_screen(), m_mask, m_binary);
}

void TWipeMask::clear_mask(std::uint8_t value) {
  for (int y = 0; y < m_mask.GetHeight(); ++y) std::memset(mask_row(y), value, static_cast<std::size_t>(width()));
}

void TWipeMask::fill_mask(std::int64_t left, std::int64_t top, std::int64_t right, std::int64_t bottom,
                          std::uint8_t value) {
  const std::int64_t l = std::max<std::int64_t>(left, 0), t = std::max<std::int64_t>(top, 0);
  const std::int64_t r = std::min<std::int64_t>(right, m_mask.GetWidth());
  const std::int64_t b = std::min<std::int64_t>(bottom, m_mask.GetHeight());
  if (l >= r || t >= b) return;
  for (std::int64_t y = t; y < b; ++y) {
    std::memset(mask_row(static_cast<int>(y)) + l, value, static_cast<std::size_t>(r - l));
  }
}

std::uint8_t wipe_edge_value(std::int64_t t, std::int64_t h, std::int64_t softness) {
  if (t < h) return 0;
  // t − h may be as large as the progress span; 255 × it still fits 64 bits.
  return static_cast<std::uint8_t>(std::min<std::int64_t>(255, (t - h) * 255 / softness));
}

// --- Blinds ----------------------------------------------------------------------------------

std::int64_t TWipeBlindH::Progress(std::int64_t e, std::int64_t d) const {
  return scale(param1() + 2 * param0() - 2, e, d);
}

void TWipeBlindH::Build(std::int64_t t, std::int64_t, std::int64_t) {
  const std::int64_t p = param0(), s = param1();
  std::uint8_t* row = mask_row(0);
  for (int x = 0; x < width(); ++x) {
    const std::int64_t k = x % p;
    const std::int64_t h = Reverse() ? 2 * (p - k - 1) : 2 * k;
    row[x] = wipe_edge_value(t, h, s);
  }
  m_binary = s < 2;
}

int TWipeBlindV::MaskHeight() const {
  return static_cast<int>(std::min<std::int64_t>(std::max<std::int64_t>(param0(), 2), height()));
}

std::int64_t TWipeBlindV::Progress(std::int64_t e, std::int64_t d) const {
  return scale(param1() + 2 * param0() - 2, e, d);
}

void TWipeBlindV::Build(std::int64_t t, std::int64_t, std::int64_t) {
  const std::int64_t p = param0(), s = param1();
  m_binary = true;
  for (int y = 0; y < m_mask.GetHeight(); ++y) {
    const std::int64_t h = Reverse() ? 2 * (p - y - 1) : 2 * std::int64_t{y};
    const std::uint8_t v = wipe_edge_value(t, h, s);
    if (v != 0 && v != 255) m_binary = false;
    std::memset(mask_row(y), v, static_cast<std::size_t>(width()));
  }
}

// --- Ordered masks and curtains ----------------------------------------------------------

TWipeOrderHMask::TWipeOrderHMask(const WipeSurfaces& surfaces, const WipeServices& services)
    : TWipeMask(surfaces, services), m_table(static_cast<std::size_t>(width()), 0) {}

TWipeOrderVMask::TWipeOrderVMask(const WipeSurfaces& surfaces, const WipeServices& services)
    : TWipeOrderHMask(surfaces, services) {
  m_table.assign(static_cast<std::size_t>(height()), 0);
}

void TWipeOrderHMask::SetParam(int index, std::int32_t value) {
  TCustomWipe::SetParam(index, std::max(value, 1));
  forget_mask();
}

void TWipeOrderHMask::ApplyTable() {
  m_binary = std::all_of(m_table.begin(), m_table.end(), [](std::uint8_t v) { return v == 0 || v == 255; });
  if (!Vertical()) {
    std::memcpy(mask_row(0), m_table.data(), m_table.size());
    return;
  }
  for (int y = 0; y < m_mask.GetHeight(); ++y) {
    std::memset(mask_row(y), m_table[static_cast<std::size_t>(y)], static_cast<std::size_t>(width()));
  }
}

namespace {

// Curtain progress over a side of `size` pixels in bands of p.
std::int64_t curtain_span(std::int64_t size, std::int64_t p, std::int64_t s) {
  return (ceil_div(size, p) + p - 2) * 16 + s;
}

void curtain_table(std::vector<std::uint8_t>& table, std::int64_t t, std::int64_t p, std::int64_t s, bool reverse) {
  const std::int64_t size = static_cast<std::int64_t>(table.size());
  for (std::int64_t i = 0; i < size; ++i) {
    const std::int64_t x = reverse ? size - i - 1 : i;
    table[static_cast<std::size_t>(i)] = wipe_edge_value(t, (x / p + x % p) * 16, s);
  }
}

}  // namespace

std::int64_t TWipeCurtainH::Progress(std::int64_t e, std::int64_t d) const {
  return scale(curtain_span(width(), param0(), param1()), e, d);
}

void TWipeCurtainH::Build(std::int64_t t, std::int64_t, std::int64_t) {
  curtain_table(m_table, t, param0(), param1(), Reverse());
  ApplyTable();
}

std::int64_t TWipeCurtainV::Progress(std::int64_t e, std::int64_t d) const {
  return scale(curtain_span(height(), param0(), param1()), e, d);
}

void TWipeCurtainV::Build(std::int64_t t, std::int64_t, std::int64_t) {
  curtain_table(m_table, t, param0(), param1(), Reverse());
  ApplyTable();
}

// --- Grids ---------------------------------------------------------------------------------------

void TWipeGrid::OnPrepare() {
  TWipeMask::OnPrepare();
  const std::int64_t p = param0();
  m_columns = ceil_div(width(), p);
  m_rows = ceil_div(height(), p);
  const Order order = CellOrder();
  auto delay = [&](std::int64_t row, std::int64_t col) -> std::int64_t {
    switch (order) {
      case Order::Columns: return 4 * col;
      case Order::Rows: return 4 * row;
      case Order::Distance: break;
    }
    return 4 * round_even(std::hypot(static_cast<long double>(row), static_cast<long double>(col)));
  };
  m_span = delay(m_rows - 1, m_columns - 1);
  if (order == Order::Columns) m_span = 4 * m_columns;
  if (order == Order::Rows) m_span = 4 * m_rows;
  m_delays.resize(static_cast<std::size_t>(m_columns * m_rows));
  for (std::int64_t r = 0; r < m_rows; ++r) {
    for (std::int64_t c = 0; c < m_columns; ++c) {
      const std::int64_t rr = Reverse() ? m_rows - 1 - r : r, cc = Reverse() ? m_columns - 1 - c : c;
      m_delays[static_cast<std::size_t>(r * m_columns + c)] = delay(rr, cc);
    }
  }
}

std::int64_t TWipeGrid::Progress(std::int64_t e, std::int64_t d) const { return scale(param1() + m_span - 4, e, d); }

void TWipeGrid::Build(std::int64_t t, std::int64_t, std::int64_t) {
  const std::int64_t p = param0(), s = param1();
  clear_mask(0);
  m_binary = true;
  for (std::int64_t r = 0; r < m_rows; ++r) {
    for (std::int64_t c = 0; c < m_columns; ++c) {
      const std::int64_t h = m_delays[static_cast<std::size_t>(r * m_columns + c)];
      if (t < h) continue;
      // (t − h) < S here whenever the square is not whole, so P × (t − h)
      // stays within 64 bits.
      const std::int64_t a = t - h >= s ? p : std::min(p, p * (t - h) / s);
      const std::uint8_t v = wipe_edge_value(t, h, s);
      if (v != 0 && v != 255) m_binary = false;
      const std::int64_t x = c * p + (p - a) / 2, y = r * p + (p - a) / 2;
      fill_mask(x, y, x + a, y + a, v);
    }
  }
}

// --- Dither --------------------------------------------------------------------------------------

int TWipeDither::MaskHeight() const { return std::min(64, height()); }

void TWipeDither::OnPrepare() {
  TWipeMask::OnPrepare();
  expr::TKvRandom random(12341);
  random.reset_deck(4096);
  m_order.resize(4096);
  for (int& p : m_order) p = random.draw();
}

std::int64_t TWipeDither::Progress(std::int64_t e, std::int64_t d) const { return scale(4096, e, d); }

void TWipeDither::Build(std::int64_t n, std::int64_t, std::int64_t) {
  std::uint8_t cell[4096] = {};
  for (std::int64_t i = 0; i < n; ++i) cell[m_order[static_cast<std::size_t>(i)]] = 255;
  for (int y = 0; y < m_mask.GetHeight(); ++y) {
    std::uint8_t* row = mask_row(y);
    const std::uint8_t* from = cell + y * 64;
    for (int x = 0; x < width(); x += 64)
      std::memcpy(row + x, from, static_cast<std::size_t>(std::min(64, width() - x)));
  }
  m_binary = true;
}

// --- Mask pictures ---------------------------------------------------------------------------------

std::vector<std::uint8_t> wipe_grey_levels(const WipeServices& services, const std::string& name, bool reverse, int w,
                                           int h) {
  std::vector<std::uint8_t> grey(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 255);
  if (!services.files || name.empty() || !services.files->exists(name)) return grey;
  TDIBX picture;
  picture.SetSize(0, 0, 32);
  try {
    const std::vector<std::uint8_t> bytes = services.files->read_all(name);
    files::TKvMemoryStream stream(bytes);
    picture.LoadFromStream(stream, services.image_key);
  } catch (const core::Error& error) {
    core::log(core::Channel::Graphics, core::Level::Warning, name + ": " + error.what());
    return grey;
  }
  if (picture.IsEmpty() || picture.GetBitCount() != 32) {
    core::log(core::Channel::Graphics, core::Level::Warning, name + ": not a picture; the mask stays even");
    return grey;
  }
  const int pw = picture.GetWidth(), ph = picture.GetHeight();
  std::vector<std::uint8_t> tile(static_cast<std::size_t>(pw) * static_cast<std::size_t>(ph));
  for (int y = 0; y < ph; ++y) {
    for (int x = 0; x < pw; ++x) {
      std::uint32_t c = picture.GetPixel(x, y) & 0xFFFFFF;
      if (reverse) c ^= 0xFFFFFF;
      const std::uint32_t r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
      tile[static_cast<std::size_t>(y) * pw + x] = static_cast<std::uint8_t>((77 * r + 150 * g + 29 * b) >> 8);
    }
  }
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* from = tile.data() + static_cast<std::size_t>(y % ph) * pw;
    std::uint8_t* to = grey.data() + static_cast<std::size_t>(y) * w;
    for (int x = 0; x < w; ++x) to[x] = from[x % pw];
  }
  return grey;
}

void TWipeShadow::OnPrepare() {
  TWipeMask::OnPrepare();
  m_grey = wipe_grey_levels(services(), MaskName(), Reverse(), width(), height());
}

std::int64_t TWipeShadow::Progress(std::int64_t e, std::int64_t d) const { return scale(512, e, d); }

void TWipeShadow::Build(std::int64_t i, std::int64_t, std::int64_t) {
  m_binary = true;
  for (int g = 0; g < 256; ++g) {
    const std::int64_t v = std::clamp<std::int64_t>(i + g - 256, 0, 255);
    if (v != 0 && v != 255) m_binary = false;
  }
  // clamp(g + i − 256, 0, 255) is a saturating byte addition (subtraction)
  // of one amount. Written on bytes, in the forms the compiler knows, it
  // becomes one saturating vector operation per 16 or 32 pixels.
  const std::int64_t k = i - 256;
  const auto amount = static_cast<std::uint8_t>(std::min<std::int64_t>(k >= 0 ? k : -k, 255));
  const std::size_t w = static_cast<std::size_t>(width());
  for (int y = 0; y < height(); ++y) {
    std::uint8_t* row = mask_row(y);
    const std::uint8_t* g = m_grey.data() + w * static_cast<std::size_t>(y);
    if (k >= 0) {
      for (std::size_t x = 0; x < w; ++x) {
        const auto v = static_cast<std::uint8_t>(g[x] + amount);
        row[x] = v < g[x] ? std::uint8_t{255} : v;
      }
    } else {
      for (std::size_t x = 0; x < w; ++x) row[x] = g[x] > amount ? static_cast<std::uint8_t>(g[x] - amount) : 0;
    }
  }
}

// --- Shapes ------------------------------------------------------------------------------------------

std::int64_t TWipeCircle::Progress(std::int64_t e, std::int64_t d) const {
  const long double reach = std::hypot(width() / 2.0L, height() / 2.0L);
  return round_even(reach * static_cast<long double>(Reverse() ? d - e : e) / static_cast<long double>(d));
}

void TWipeCircle::Build(std::int64_t radius, std::int64_t, std::int64_t) {
  const bool closing = Reverse();
  clear_mask(closing ? 255 : 0);
  const double cx = width() / 2.0, cy = height() / 2.0, r = static_cast<double>(radius);
  Region::ellipse_box(cx - r, cy - r, cx + r, cy + r).rasterise(m_mask, closing ? 0 : 255);
  m_binary = true;
}

TWipeSector::TWipeSector(const WipeSurfaces& surfaces, const WipeServices& services) : TWipeMask(surfaces, services) {
  m_progress_is_elapsed = true;
}

bool TWipeSector::draws_spans() const {
  const int bits = target().GetBitCount();
  return pixel_path() != PixelPath::Reference && (bits == 32 || bits == 16 || bits == 15);
}

void TWipeSector::Build(std::int64_t, std::int64_t e, std::int64_t d) {
  m_shape = Shape(static_cast<long double>(e) / static_cast<long double>(d));
  m_binary = true;
  m_mask_drawn = !draws_spans();
  if (!m_mask_drawn) return;
  clear_mask(0);
  m_shape.rasterise(m_mask, 255);
}

void TWipeSector::Draw(std::int64_t e, std::int64_t d) {
  if (!draws_spans()) {
    // After draws on a kernel path the mask was not drawn.
    if (!m_mask_drawn) forget_mask();
    TWipeMask::Draw(e, d);
    return;
  }
  UpdateMask(e, d);
  const int w = width(), h = height();
  const std::size_t bytes = target().GetBitCount() == 32 ? 4 : 2;
  std::uint8_t* dst = target().Lock(0, 0);
  const std::uint8_t* o = old_screen().LockRead(0, 0);
  const std::uint8_t* n = new_screen().LockRead(0, 0);
  if (dst && o && n) {
    const std::ptrdiff_t dp = target().GetPitch(), op = old_screen().GetPitch(), np = new_screen().GetPitch();
    std::vector<Region::Span> spans;
    Region::RowScratch scratch;
    auto copy = [&](std::uint8_t* to, const std::uint8_t* from, int begin, int end) {
      if (begin < end)
        std::memcpy(to + begin * bytes, from + begin * bytes, static_cast<std::size_t>(end - begin) * bytes);
    };
    for (int y = 0; y < h; ++y) {
      m_shape.row_spans(y, 0, w, spans, scratch);
      std::uint8_t* to = dst + dp * y;
      const std::uint8_t* old_row = o + op * y;
      const std::uint8_t* new_row = n + np * y;
      int pos = 0;
      for (const Region::Span& span : spans) {
        copy(to, old_row, pos, span.begin);
        copy(to, new_row, span.begin, span.end);
        pos = span.end;
      }
      copy(to, old_row, pos, w);
    }
  }
  if (n) new_screen().UnlockRead();
  if (o) old_screen().UnlockRead();
  if (dst) target().Unlock();
}

Region TWipeSector::sector(long double start_degrees, long double sweep_degrees) const {
  const double cx = width() / 2.0, cy = height() / 2.0;
  const double radius = std::hypot(static_cast<double>(width()), static_cast<double>(height())) + 2;
  return Region::pie(cx, cy, radius, static_cast<double>(std::fmod(start_degrees, 360.0L)),
                     static_cast<double>(sweep_degrees));
}

Region TWipeClockhand::Shape(long double fraction) const {
  const long double sweep = fraction * 360;
  return sector(param0(), Reverse() ? -sweep : sweep);
}

Region TWipeFan::Shape(long double fraction) const {
  const long double sweep = fraction * 180;
  return sector(param0(), sweep).unite(sector(param0(), -sweep));
}

Region TWipeWFan::Shape(long double fraction) const {
  const long double sweep = fraction * 90;
  const long double start = param0(), opposite = start + 180;
  return sector(start, sweep)
      .unite(sector(start, -sweep))
      .unite(sector(opposite, sweep))
      .unite(sector(opposite, -sweep));
}

// --- Blocks --------------------------------------------------------------------------------------------

void TWipeBlockCoil::OnPrepare() {
  TWipeMask::OnPrepare();
  m_side = static_cast<int>(std::min<std::int64_t>({std::max<std::int64_t>(10, param0()), width(), height()}));
  m_blocks.clear();
  ListBlocks(static_cast<int>(ceil_div(width(), m_side)), static_cast<int>(ceil_div(height(), m_side)));
}

void TWipeBlockCoil::ListBlocks(int columns, int rows) {
  int top = 0, bottom = rows - 1, left = 0, right = columns - 1;
  while (top <= bottom && left <= right) {
    for (int c = left; c <= right; ++c) m_blocks.emplace_back(c, top);
    ++top;
    for (int r = top; r <= bottom; ++r) m_blocks.emplace_back(right, r);
    --right;
    if (top <= bottom) {
      for (int c = right; c >= left; --c) m_blocks.emplace_back(c, bottom);
      --bottom;
    }
    if (left <= right) {
      for (int r = bottom; r >= top; --r) m_blocks.emplace_back(left, r);
      ++left;
    }
  }
}

void TWipeBlockRandom::ListBlocks(int columns, int rows) {
  expr::StandardRandom* random = services().random;
  if (!random) throw core::Error("WP_BLOCKRANDOM: the player's random generator is missing");
  std::vector<std::pair<int, int>> left;
  left.reserve(static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows));
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) left.emplace_back(c, r);
  }
  while (!left.empty()) {
    const auto i = static_cast<std::size_t>(random->next(static_cast<std::int32_t>(left.size())));
    m_blocks.push_back(left[i]);
    left.erase(left.begin() + static_cast<std::ptrdiff_t>(i));
  }
}

std::int64_t TWipeBlockCoil::Progress(std::int64_t e, std::int64_t d) const {
  return scale(static_cast<std::int64_t>(m_blocks.size()) - 1, e, d);
}

void TWipeBlockCoil::Build(std::int64_t n, std::int64_t, std::int64_t) {
  clear_mask(0);
  const std::int64_t count = static_cast<std::int64_t>(m_blocks.size());
  for (std::int64_t i = 0; i <= n && i < count; ++i) {
    const auto [c, r] = m_blocks[static_cast<std::size_t>(Reverse() ? count - 1 - i : i)];
    const std::int64_t x = std::int64_t{c} * m_side, y = std::int64_t{r} * m_side;
    fill_mask(x, y, x + m_side, y + m_side, 255);
  }
  m_binary = true;
}

}  // namespace nova::graphics
