#include "graphics/region.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "graphics/dibx.h"

namespace nova::graphics {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Pixel coordinates of real positions, kept inside the int range.
int clamp_to_int(double v) {
  if (!(v == v)) return 0;
  constexpr double lo = std::numeric_limits<int>::min() / 2;
  constexpr double hi = std::numeric_limits<int>::max() / 2;
  return static_cast<int>(std::clamp(v, lo, hi));
}

// The first pixel whose centre may lie at or right of v, and one past the
// last whose centre may lie at or left of v.
int first_pixel(double v) { return clamp_to_int(std::floor(v - 0.5)); }
int end_pixel(double v) { return clamp_to_int(std::floor(v + 0.5) + 1); }

// Angle of a direction measured clockwise from straight up, in [0, 360).
double clockwise_degrees(double dx, double dy) {
  double a = std::atan2(dx, -dy) * (180.0 / kPi);
  if (a < 0) a += 360.0;
  if (a >= 360.0) a -= 360.0;
  return a;
}

// v reduced into [0, 360).
double wrap_degrees(double v) {
  // fmod is exact and leaves values inside (−360, 360) as they are, which
  // is where nearly every angle difference lies.
  double r = v > -360.0 && v < 360.0 ? v : std::fmod(v, 360.0);
  if (r < 0) r += 360.0;
  if (r >= 360.0) r -= 360.0;
  return r;
}

// Whether a pie of start d and sweep e (as Region::pie keeps them) holds
// the direction of angle a.
bool pie_holds(double d, double e, double a) {
  if (e >= 360.0 || e <= -360.0) return true;
  if (e > 0) return wrap_degrees(a - d) < e;
  // Counter-clockwise: the start itself belongs, the far end does not.
  return wrap_degrees(d - a) < -e;
}

}  // namespace

PieAngles::PieAngles(double cx, double cy, int w, int h)
    : m_cx(cx), m_cy(cy), m_w(std::max(w, 0)), m_h(std::max(h, 0)) {
  m_angles.resize(static_cast<std::size_t>(m_w) * static_cast<std::size_t>(m_h));
  std::size_t i = 0;
  for (int y = 0; y < m_h; ++y) {
    for (int x = 0; x < m_w; ++x) m_angles[i++] = clockwise_degrees((x + 0.5) - cx, (y + 0.5) - cy);
  }
}

Region Region::rectangle(int left, int top, int right, int bottom) {
  Region r;
  if (right < left || bottom < top) return r;
  Shape s;
  s.kind = Kind::Rectangle;
  s.a = left;
  s.b = top;
  s.c = static_cast<double>(right) + 1;
  s.d = static_cast<double>(bottom) + 1;
  s.box = compute_bounds(s);
  r.m_shapes.push_back(std::move(s));
  return r;
}

Region Region::ellipse(int left, int top, int right, int bottom) {
  if (right < left || bottom < top) return Region{};
  return ellipse_box(left, top, static_cast<double>(right) + 1, static_cast<double>(bottom) + 1);
}

Region Region::ellipse_box(double left, double top, double right, double bottom) {
  Region r;
  if (!(right > left) || !(bottom > top)) return r;
  Shape s;
  s.kind = Kind::Ellipse;
  s.a = left;
  s.b = top;
  s.c = right;
  s.d = bottom;
  s.box = compute_bounds(s);
  r.m_shapes.push_back(std::move(s));
  return r;
}

Region Region::polygon(std::vector<PointF> points) {
  Region r;
  if (points.size() < 3) return r;
  Shape s;
  s.kind = Kind::Polygon;
  s.points = std::move(points);
  s.box = compute_bounds(s);
  r.m_shapes.push_back(std::move(s));
  return r;
}

Region Region::pie(double cx, double cy, double radius, double start_degrees, double sweep_degrees) {
  Region r;
  if (!(radius >= 0) || sweep_degrees == 0 || !std::isfinite(sweep_degrees) || !std::isfinite(start_degrees)) return r;
  Shape s;
  s.kind = Kind::Pie;
  s.a = cx;
  s.b = cy;
  s.c = radius;
  s.d = wrap_degrees(start_degrees);
  s.e = std::clamp(sweep_degrees, -360.0, 360.0);
  const double rays[2] = {s.d, s.d + s.e};
  for (int i = 0; i < 2; ++i) {
    const double rad = rays[i] * (kPi / 180.0);
    s.ray[i][0] = std::sin(rad);
    s.ray[i][1] = -std::cos(rad);
  }
  s.box = compute_bounds(s);
  r.m_shapes.push_back(std::move(s));
  return r;
}

Region& Region::unite(const Region& other) {
  m_shapes.insert(m_shapes.end(), other.m_shapes.begin(), other.m_shapes.end());
  return *this;
}

bool Region::shape_contains(const Shape& s, double x, double y) {
  switch (s.kind) {
    case Kind::Rectangle: return x >= s.a && x < s.c && y >= s.b && y < s.d;
    case Kind::Ellipse: {
      const double rx = (s.c - s.a) / 2, ry = (s.d - s.b) / 2;
      const double dx = (x - (s.a + rx)) / rx, dy = (y - (s.b + ry)) / ry;
      return dx * dx + dy * dy <= 1.0;
    }
    case Kind::Polygon: {
      // Winding number of a ray to the right; an edge counts for the rows
      // [upper end, lower end), and a point exactly on it is left of it.
      int winding = 0;
      const std::size_t n = s.points.size();
      for (std::size_t i = 0; i < n; ++i) {
        const PointF& p = s.points[i];
        const PointF& q = s.points[(i + 1) % n];
        if ((p.y <= y) == (q.y <= y)) continue;
        const double xi = p.x + (y - p.y) * (q.x - p.x) / (q.y - p.y);
        if (x < xi) winding += q.y > p.y ? 1 : -1;
      }
      return winding != 0;
    }
    case Kind::Pie: {
      const double dx = x - s.a, dy = y - s.b;
      if (dx * dx + dy * dy > s.c * s.c) return false;
      if (s.e >= 360.0 || s.e <= -360.0) return true;
      return pie_holds(s.d, s.e, clockwise_degrees(dx, dy));
    }
  }
  return false;
}

bool Region::contains_point(double x, double y) const {
  for (const Shape& s : m_shapes) {
    if (shape_contains(s, x, y)) return true;
  }
  return false;
}

bool Region::contains(int x, int y) const { return contains_point(x + 0.5, y + 0.5); }

Rect Region::compute_bounds(const Shape& s) {
  switch (s.kind) {
    case Kind::Rectangle:
    case Kind::Ellipse: return {first_pixel(s.a), first_pixel(s.b), end_pixel(s.c), end_pixel(s.d)};
    case Kind::Polygon: {
      double l = s.points[0].x, r = l, t = s.points[0].y, b = t;
      for (const PointF& p : s.points) {
        l = std::min(l, p.x);
        r = std::max(r, p.x);
        t = std::min(t, p.y);
        b = std::max(b, p.y);
      }
      return {first_pixel(l), first_pixel(t), end_pixel(r), end_pixel(b)};
    }
    case Kind::Pie: return {first_pixel(s.a - s.c), first_pixel(s.b - s.c), end_pixel(s.a + s.c), end_pixel(s.b + s.c)};
  }
  return {};
}

Rect Region::bounds() const {
  Rect r{};
  for (const Shape& s : m_shapes) r = r.united(shape_bounds(s));
  return r;
}

void Region::shape_crossings(const Shape& s, double yc, std::vector<double>& out) {
  switch (s.kind) {
    case Kind::Rectangle:
      out.push_back(s.a);
      out.push_back(s.c);
      return;
    case Kind::Ellipse: {
      const double rx = (s.c - s.a) / 2, ry = (s.d - s.b) / 2;
      const double t = (yc - (s.b + ry)) / ry;
      if (t < -1 || t > 1) return;
      const double half = rx * std::sqrt(std::max(0.0, 1 - t * t));
      out.push_back(s.a + rx - half);
      out.push_back(s.a + rx + half);
      return;
    }
    case Kind::Polygon: {
      const std::size_t n = s.points.size();
      for (std::size_t i = 0; i < n; ++i) {
        const PointF& p = s.points[i];
        const PointF& q = s.points[(i + 1) % n];
        if (yc < std::min(p.y, q.y) || yc > std::max(p.y, q.y)) continue;
        if (p.y == q.y) {
          out.push_back(p.x);
          out.push_back(q.x);
        } else {
          out.push_back(p.x + (yc - p.y) * (q.x - p.x) / (q.y - p.y));
        }
      }
      return;
    }
    case Kind::Pie: {
      const double dy = yc - s.b;
      if (std::abs(dy) > s.c) return;
      const double half = std::sqrt(std::max(0.0, s.c * s.c - dy * dy));
      out.push_back(s.a - half);
      out.push_back(s.a + half);
      // Away from the centre's rows a pie's membership changes along a row
      // only where one of its rays crosses it (the angle turns through the
      // wrap at straight up without a jump in the pie's own terms); near
      // them, at the centre too, and on both lines of each ray.
      const bool near_centre = std::abs(dy) < 2;
      if (near_centre) out.push_back(s.a);
      // The bounding rays point along (sin, −cos) from the centre.
      for (const auto& [ux, uy] : s.ray) {
        if (std::abs(uy) <= 1e-12) continue;
        const double t = dy / uy;
        if (near_centre || t > 0) out.push_back(s.a + t * ux);
      }
      return;
    }
  }
}

namespace {

// Whether a pie of sweep e (0 < |e| < 360) holds the point (dx, dy) from
// its centre, decided from the sides of its two rays alone, without the
// point's angle: 1 or 0, or −1 when the point lies too close to a ray (or
// to the line through it) to tell. A side is taken only when the point is
// at least 1e-9 radians off the line, far beyond the error of the angle
// that the exact test computes (below 1e-12 degrees), so both tests agree
// wherever this one answers; the rest goes to the exact test.
int pie_side(const double (&ray)[2][2], double e, double dx, double dy, double r2) {
  // r × sin(angle of the point − angle of the ray): positive when the point
  // lies clockwise of the ray, within half a turn.
  const double c0 = ray[0][0] * dy - ray[0][1] * dx, c1 = ray[1][0] * dy - ray[1][1] * dx;
  const double margin = 1e-18 * r2;
  const int s0 = c0 * c0 <= margin ? 0 : c0 > 0 ? 1 : -1;
  const int s1 = c1 * c1 <= margin ? 0 : c1 > 0 ? 1 : -1;
  // Clockwise (e > 0) the pie is [start, start + e): clockwise of the
  // first ray and counter-clockwise of the second; counter-clockwise both
  // are mirrored. Up to half a turn the pie lies on both of those sides,
  // beyond it on either.
  const int in0 = e > 0 ? 1 : -1, in1 = -in0;
  if (std::abs(e) <= 180.0) {
    if ((s0 != 0 && s0 != in0) || (s1 != 0 && s1 != in1)) return 0;
    if (s0 == in0 && s1 == in1) return 1;
    return -1;
  }
  if (s0 == in0 || s1 == in1) return 1;
  if (s0 != 0 && s1 != 0) return 0;
  return -1;
}

}  // namespace

bool Region::shape_pixel(const Shape& s, int x, int y, const PieAngles* angles) {
  const double px = x + 0.5, py = y + 0.5;
  if (s.kind == Kind::Pie && s.e < 360.0 && s.e > -360.0) {
    const double dx = px - s.a, dy = py - s.b, r2 = dx * dx + dy * dy;
    if (r2 > s.c * s.c) return false;
    const int side = pie_side(s.ray, s.e, dx, dy, r2);
    if (side >= 0) return side == 1;
  }
  double a = 0;
  if (s.kind == Kind::Pie && angles && angles->find(s.a, s.b, x, y, a)) {
    const double dx = px - s.a, dy = py - s.b;
    return dx * dx + dy * dy <= s.c * s.c && pie_holds(s.d, s.e, a);
  }
  return shape_contains(s, px, py);
}

void Region::row_spans(int y, int x0, int x1, std::vector<Span>& out) const {
  RowScratch scratch;
  row_spans(y, x0, x1, out, scratch, nullptr);
}

void Region::shape_row_spans(const Shape& s, int y, int x0, int x1, std::vector<Span>& out, RowScratch& scratch,
                             const PieAngles* angles) {
  const Rect b = shape_bounds(s);
  if (y < b.top || y >= b.bottom) return;
  x0 = std::max(x0, b.left);
  x1 = std::min(x1, b.right);
  if (x0 >= x1) return;

  // Windows of pixels around every place where membership may change; a
  // run between two windows has one membership, read from its first pixel.
  const double yc = y + 0.5;
  std::vector<double>& crossings = scratch.crossings;
  crossings.clear();
  shape_crossings(s, yc, crossings);
  std::vector<std::pair<int, int>>& windows = scratch.windows;
  windows.clear();
  // A pie's crossings come from its rays' directions alone and are exact
  // to far below a pixel: besides the two pixels whose centres straddle
  // one, a pixel on each side covers any rounding. Other shapes keep two.
  const int margin = s.kind == Kind::Pie ? 1 : 2;
  for (double c : crossings) {
    if (!std::isfinite(c)) continue;
    const int p = clamp_to_int(std::floor(std::clamp(c, x0 - 8.0, x1 + 8.0) - 0.5));
    const int lo = std::max(x0, p - margin), hi = std::min(x1, p + 1 + margin);
    if (lo < hi) windows.emplace_back(lo, hi);
  }
  std::sort(windows.begin(), windows.end());

  auto add = [&](int begin, int end) {
    if (!out.empty() && out.back().end == begin) {
      out.back().end = end;
    } else {
      out.push_back({begin, end});
    }
  };
  int pos = x0;
  for (auto [lo, hi] : windows) {
    lo = std::max(lo, pos);
    if (lo >= hi) continue;
    if (pos < lo && shape_pixel(s, pos, y, angles)) add(pos, lo);
    for (int x = lo; x < hi; ++x) {
      if (shape_pixel(s, x, y, angles)) add(x, x + 1);
    }
    pos = hi;
  }
  if (pos < x1 && shape_pixel(s, pos, y, angles)) add(pos, x1);
}

void Region::row_spans(int y, int x0, int x1, std::vector<Span>& out, RowScratch& scratch,
                       const PieAngles* angles) const {
  out.clear();
  if (m_shapes.size() == 1) {
    shape_row_spans(m_shapes[0], y, x0, x1, out, scratch, angles);
    return;
  }
  // A pixel belongs to the union when one shape holds it: each shape's
  // spans, found with that shape's own tests, then merged.
  std::vector<Span>& all = scratch.spans;
  all.clear();
  for (const Shape& s : m_shapes) {
    std::vector<Span>& one = scratch.shape_spans;
    one.clear();
    shape_row_spans(s, y, x0, x1, one, scratch, angles);
    all.insert(all.end(), one.begin(), one.end());
  }
  std::sort(all.begin(), all.end(), [](const Span& a, const Span& b) { return a.begin < b.begin; });
  for (const Span& span : all) {
    if (!out.empty() && span.begin <= out.back().end) {
      out.back().end = std::max(out.back().end, span.end);
    } else {
      out.push_back(span);
    }
  }
}

void Region::rasterise(TCustomDIBX& mask, std::uint8_t value, int dx, int dy) const {
  rasterise(mask, value, dx, dy, nullptr);
}

void Region::rasterise(TCustomDIBX& mask, std::uint8_t value, const PieAngles& angles) const {
  rasterise(mask, value, 0, 0, &angles);
}

void Region::rasterise(TCustomDIBX& mask, std::uint8_t value, int dx, int dy, const PieAngles* angles) const {
  if (mask.GetBitCount() != 8 || mask.IsEmpty() || empty()) return;
  const Rect b = bounds().translated(dx, dy).intersected({0, 0, mask.GetWidth(), mask.GetHeight()});
  if (b.empty()) return;
  std::uint8_t* base = mask.Lock(0, 0);
  if (!base) return;
  const int pitch = mask.GetPitch();
  std::vector<Span> spans;
  RowScratch scratch;
  for (int y = b.top; y < b.bottom; ++y) {
    row_spans(y - dy, b.left - dx, b.right - dx, spans, scratch, angles);
    std::uint8_t* row = base + static_cast<std::ptrdiff_t>(y) * pitch;
    for (const Span& s : spans) std::fill(row + s.begin + dx, row + s.end + dx, value);
  }
  mask.Unlock();
}

}  // namespace nova::graphics
