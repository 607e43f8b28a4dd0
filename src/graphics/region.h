// Region: a set of pixels described by shapes (rectangles, ellipses,
// polygons with the non-zero winding rule, pie sectors), tested point by
// point and rasterised into 8-bit masks.
//
// A pixel (x, y) belongs to a shape when its centre (x + 0.5, y + 0.5) lies
// inside it:
// - rectangle (left, top, right, bottom): the corners are the first and the
//   last pixel, so the area is (left, top) .. (right + 1, bottom + 1);
// - ellipse: the ellipse inscribed in such an area (or in a box given in
//   real coordinates), border included;
// - polygon: inside by the non-zero winding rule; a centre exactly on an
//   edge belongs to the side right of or below it (top-left rule), so that
//   polygons sharing an edge share no pixel;
// - pie: the points of a disc (border included) whose direction from the
//   centre, measured clockwise from straight up, lies in [start, start +
//   sweep) for a positive sweep, or in (start + sweep, start] for a
//   negative one; a sweep of 360° or more is the whole disc, 0 is nothing.
// A region is the union of its shapes. It is a value: copy it freely.
//
// Rasterising never disagrees with the point test: spans are found from the
// shapes' edges, then every pixel near an edge is decided by the point test
// itself, and the runs between those pixels are filled whole.
#pragma once

#include <cstdint>
#include <vector>

#include "graphics/pixel_format.h"

namespace nova::graphics {

class TCustomDIBX;

// The clockwise angles from straight up of the pixel centres of a w × h
// area around one centre, worked out once: a region whose pies share that
// centre reads them instead of computing each pixel's angle again, and gets
// the same values. Holds w × h doubles.
class PieAngles {
 public:
  PieAngles() = default;
  PieAngles(double cx, double cy, int w, int h);
  // The angle of pixel (x, y) when this table holds it for a pie centred
  // at (cx, cy); false otherwise.
  bool find(double cx, double cy, int x, int y, double& angle) const {
    if (cx != m_cx || cy != m_cy || x < 0 || y < 0 || x >= m_w || y >= m_h) return false;
    angle = m_angles[static_cast<std::size_t>(y) * static_cast<std::size_t>(m_w) + static_cast<std::size_t>(x)];
    return true;
  }

 private:
  double m_cx = 0, m_cy = 0;
  int m_w = 0, m_h = 0;
  std::vector<double> m_angles;
};

class Region {
 public:
  struct PointF {
    double x = 0;
    double y = 0;
  };

  // The empty region.
  Region() = default;

  static Region rectangle(int left, int top, int right, int bottom);
  // The ellipse inscribed in the rectangle of the same corners.
  static Region ellipse(int left, int top, int right, int bottom);
  // The ellipse inscribed in a box of real coordinates (left, top) ..
  // (right, bottom); empty when the box has no area.
  static Region ellipse_box(double left, double top, double right, double bottom);
  // A closed polygon (the last point joins the first).
  static Region polygon(std::vector<PointF> points);
  // A sector of the disc around (cx, cy); angles in degrees, clockwise from
  // straight up, a negative sweep turning counter-clockwise.
  static Region pie(double cx, double cy, double radius, double start_degrees, double sweep_degrees);

  // The union of both regions.
  Region& unite(const Region& other);

  bool empty() const { return m_shapes.empty(); }
  // Whether pixel (x, y) belongs.
  bool contains(int x, int y) const;
  // Whether the point (x, y) in real coordinates lies inside.
  bool contains_point(double x, double y) const;
  // A pixel rectangle (half-open) holding every pixel that belongs, at most
  // one pixel wider on each side than needed; empty for an empty region.
  Rect bounds() const;

  // Half-open runs [begin, end) of the pixels of row y that belong, within
  // the columns [x0, x1), in increasing order.
  struct Span {
    int begin = 0;
    int end = 0;
  };
  void row_spans(int y, int x0, int x1, std::vector<Span>& out) const;

  // Scratch space of a row search, kept across the rows of one walk.
  struct RowScratch {
    std::vector<double> crossings;
    std::vector<std::pair<int, int>> windows;
    std::vector<Span> spans, shape_spans;
  };
  // The same, reusing `scratch` across the rows of a walk.
  void row_spans(int y, int x0, int x1, std::vector<Span>& out, RowScratch& scratch) const {
    row_spans(y, x0, x1, out, scratch, nullptr);
  }

  // Sets every pixel of an 8-bit surface that belongs to `value`, with the
  // region moved by (dx, dy); other pixels keep theirs. Clipped to the
  // surface (not to its clip rectangle); nothing happens on a surface of
  // another bit count.
  void rasterise(TCustomDIBX& mask, std::uint8_t value, int dx = 0, int dy = 0) const;
  // The same, unmoved, reading the pies' angles from `angles` where it
  // holds them.
  void rasterise(TCustomDIBX& mask, std::uint8_t value, const PieAngles& angles) const;

 private:
  enum class Kind : std::uint8_t { Rectangle, Ellipse, Polygon, Pie };
  struct Shape {
    Kind kind = Kind::Rectangle;
    // Rectangle and ellipse: the area's box. Pie: centre (a, b), radius c,
    // start d, sweep e.
    double a = 0, b = 0, c = 0, d = 0, e = 0;
    // Pie: the directions (sin, −cos) of both bounding rays.
    double ray[2][2] = {};
    std::vector<PointF> points;  // polygon
    // shape_bounds(), worked out once when the shape is made: every row
    // of a walk starts from it.
    Rect box{};
  };

  static bool shape_contains(const Shape& s, double x, double y);
  void row_spans(int y, int x0, int x1, std::vector<Span>& out, RowScratch& scratch, const PieAngles* angles) const;
  // Pixel (x, y) in one shape, a pie's angle read from `angles` when it
  // holds it.
  static bool shape_pixel(const Shape& s, int x, int y, const PieAngles* angles);
  // The spans of one shape on row y within [x0, x1), appended to `out`.
  static void shape_row_spans(const Shape& s, int y, int x0, int x1, std::vector<Span>& out, RowScratch& scratch,
                              const PieAngles* angles);
  static Rect shape_bounds(const Shape& s) { return s.box; }
  static Rect compute_bounds(const Shape& s);
  // Real x positions along the line y = yc where the shape's membership may
  // change (edges crossing the line).
  static void shape_crossings(const Shape& s, double yc, std::vector<double>& out);
  void rasterise(TCustomDIBX& mask, std::uint8_t value, int dx, int dy, const PieAngles* angles) const;

  std::vector<Shape> m_shapes;
};

}  // namespace nova::graphics
