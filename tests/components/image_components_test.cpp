// Image components on a base: the cache items they share, the pixels the
// draw formulas give for every alpha range, zoom and rotation, content
// rectangles, brightness, tiles, hit tests through the mask, and what
// survives a reload of the cache.
#include <gtest/gtest.h>

#include "components/component_records.h"
#include "components/draw_table.h"
#include "core/binary_io.h"
#include "image_fixture.h"

namespace nova::test {
namespace {

constexpr std::uint32_t kPic = 0x804020;  // a picture pixel (0x00RRGGBB)

bool table_says(const TNovaObject& o, TPropId id) { return kProperties[id].components.contains(o.ComponentType()); }

TEST_F(ImageScene, ClassesImplementTheirTypesPropertiesAndShareOneItemPerFile) {
  files.put("a.bri", plain_bri({solid_frame(4, 3, kPic)}));
  for (TComponentType type : {LT_IMAGES, LT_TILE, LT_MAPIMG}) {
    TNovaComponent& c = list.Create(type);
    for (const TPropertyInfo& p : kProperties) {
      EXPECT_EQ(c.Properties().implements(p.id), table_says(c, p.id)) << static_cast<int>(type) << " " << p.name;
    }
  }
  TNovaImages& one = image("one", "a.bri");
  TNovaImages& two = image("two", "A.BRI", 10, 0);
  EXPECT_EQ(files.reads(), 1);
  ASSERT_NE(cache.Find("a.bri"), nullptr);
  EXPECT_EQ(cache.Find("a.bri")->UserCount(), 2);
  EXPECT_EQ(get_int(one, PR_WIDTH), 4) << "the size follows the picture";
  EXPECT_EQ(get_int(one, PR_COUNT), 1);
  EXPECT_EQ(get_int(one, PR_INDEX), 0);
  list.destroy(one);
  ASSERT_NE(cache.Find("a.bri"), nullptr) << "the second user keeps it";
  set(two, PR_SOURCE, "none.txt");
  EXPECT_EQ(cache.Find("a.bri"), nullptr) << "destroyed with its last user";
  EXPECT_EQ(get_int(two, PR_WIDTH), 0) << "another extension leaves the image empty";
  EXPECT_EQ(get_int(two, PR_INDEX), -1);

  // A missing file shows the empty picture: 8 × 8 keyed black, nothing drawn.
  TNovaImages& missing = image("missing", "gone.bri", 20, 20);
  EXPECT_EQ(get_int(missing, PR_WIDTH), 8);
  compose();
  EXPECT_EQ(at(24, 24), px(kBackground));
  // A tile keeps its area when its source is no picture.
  TNovaTile& t = tile("t", "a.bri", {0, 30, 9, 5});
  set(t, PR_SOURCE, "x.png");
  EXPECT_EQ(get_int(t, PR_WIDTH), 9);
  EXPECT_EQ(get_int(t, PR_REPEAT), 1);
}

TEST_F(ImageScene, AlphaRangesZoomAndFlipsGiveTheFormulasPixels) {
  PlainFrame f = solid_frame(3, 2, kPic);
  f.pixels[0] = 0x10F010;  // the top-left pixel tells the flips apart
  files.put("p.bri", plain_bri({f}));
  const std::uint32_t bg = px(kBackground);
  struct Case {
    std::int32_t alpha;
    std::uint32_t expected;
  };
  for (const Case c : {Case{0, bg}, Case{128, blend(kPic, bg, 128)}, Case{255, kPic}, Case{384, add(kPic, bg, 128)},
                       Case{511, add(kPic, bg, 255)}}) {
    SCOPED_TRACE(c.alpha);
    TNovaImages& i = image("i", "p.bri", 5, 5);
    set(i, PR_ALPHA, c.alpha);
    compose();
    EXPECT_EQ(at(6, 6), c.expected);
    EXPECT_EQ(at(8, 6), bg) << "nothing right of the picture";
    list.destroy(i);
  }
  TNovaImages& z = image("z", "p.bri", 10, 0);
  set(z, PR_ZOOMX, 512);
  EXPECT_EQ(get_int(z, PR_WIDTH), 6) << "twice the width";
  EXPECT_EQ(get_int(z, PR_HEIGHT), 2);
  set(z, PR_FLIPH, 1);
  // The flip mirrors the center too: (0, 0) becomes the last column, 5.
  EXPECT_EQ(z.ScreenLeft(), 5);
  compose();
  EXPECT_EQ(at(10, 0), 0x10F010u) << "the mirrored top-left pixel, twice as wide";
  EXPECT_EQ(at(9, 0), 0x10F010u);
  EXPECT_EQ(at(8, 0), kPic);
  EXPECT_EQ(at(5, 0), kPic);
  EXPECT_EQ(at(4, 0), bg);
  EXPECT_EQ(at(11, 0), bg);
  set(z, PR_ZOOMX, 0);
  EXPECT_EQ(get_int(z, PR_ZOOMX), 1) << "writing 0 stores 1";
  EXPECT_EQ(get_int(z, PR_WIDTH), 0);
  // Sizes far beyond any screen are held at 2^24.
  set(z, PR_ZOOMX, 0x7FFFFFFF);
  EXPECT_EQ(get_int(z, PR_WIDTH), 1 << 24);
  EXPECT_EQ(zoomed_extent(-3, 256), 0);
}

TEST_F(ImageScene, AZoomedPositionOnAParentPictureTakesTheSizeBetweenItsMappedEdges) {
  files.put("p4.bri", plain_bri({solid_frame(4, 2, kPic)}));
  files.put("p3.bri", plain_bri({solid_frame(3, 2, kPic)}));
  TNovaImages& parent = image("parent", "p4.bri", 10, 10);
  set(parent, PR_ZOOMX, 384);
  ASSERT_EQ(get_int(parent, PR_WIDTH), 6);
  TNovaImages& child = image("child", "p3.bri", 1, 0);
  set(child, PR_PARENT, "parent");
  set(child, PR_POSZOOMED, 1);
  set(child, PR_ZOOMX, 384);
  // r = trunc(4 × 65536 ÷ 6) = 43690: the edges 1 and 4 map to 1 and 6.
  EXPECT_EQ(get_int(child, PR_WIDTH), 5) << "not 3 × 384 ÷ 256 = 4";
  EXPECT_EQ(get_int(child, PR_HEIGHT), 2) << "zoom y 256 differs from the parent's: the ordinary rule";
  set(child, PR_ZOOMX, 512);
  EXPECT_EQ(get_int(child, PR_WIDTH), 6) << "zoom differs from the parent's";
}

TEST_F(ImageScene, AQuarterTurnTurnsTheDrawingAndTheHitTest) {
  PlainFrame f = solid_frame(4, 2, kPic);
  for (int u = 0; u < 4; ++u) f.pixels[static_cast<std::size_t>(u)] = 0x101010u * static_cast<std::uint32_t>(u + 1);
  files.put("r.bri", plain_bri({f}));
  TNovaImages& r = image("r", "r.bri", 20, 20);
  set(r, PR_ANGLE, 64);
  compose();
  // The source's top row runs down the right-hand column of the drawing.
  for (int u = 0; u < 4; ++u) EXPECT_EQ(at(20, 20 + u), 0x101010u * static_cast<std::uint32_t>(u + 1)) << u;
  EXPECT_EQ(at(19, 21), kPic) << "the second row one column to the left";
  EXPECT_EQ(at(21, 21), px(kBackground));
  EXPECT_EQ(at(22, 20), px(kBackground)) << "where the unturned picture would be";
  const auto hit = [&](int x, int y) { return list.front_base().HitTest({x, y}, 1u << IM_NONE) == &r; };
  EXPECT_TRUE(hit(20, 23));
  EXPECT_TRUE(hit(19, 20));
  EXPECT_FALSE(hit(22, 20)) << "the unturned place misses";
  EXPECT_FALSE(hit(20, 24));
  set(r, PR_ANGLE, 64 + 256);
  EXPECT_TRUE(hit(20, 23)) << "only the low 8 bits of the angle count";
}

TEST_F(ImageScene, ContentRectanglesDrawTheWholeDrawsPixelsAndBrightnessKeepsTheKey) {
  PlainFrame f = solid_frame(8, 6, 0x0000FF);
  f.key = 0x0000FF;
  for (int y = 1; y < 3; ++y) {
    for (int x = 1; x < 3; ++x)
      f.pixels[static_cast<std::size_t>(y * 8 + x)] = 0x102030u + static_cast<std::uint32_t>(x);
  }
  for (int x = 5; x < 8; ++x) f.pixels[static_cast<std::size_t>(4 * 8 + x)] = 0xA0B0C0u + static_cast<std::uint32_t>(x);
  PlainFrame whole = f;
  f.rects = {{1, 1, 3, 3}, {5, 4, 8, 5}};
  files.put("c.bri", plain_bri({f}));
  files.put("w.bri", plain_bri({whole}));
  for (bool flip : {false, true}) {
    SCOPED_TRACE(flip);
    TNovaImages& parts = image("parts", "c.bri", 3, 2);
    TNovaImages& one = image("one", "w.bri", 3, 20);
    for (TNovaImages* i : {&parts, &one}) {
      set(*i, PR_FLIPH, flip ? 1 : 0);
      set(*i, PR_FLIPV, flip ? 1 : 0);
    }
    compose();
    for (int y = 0; y < 6; ++y) {
      for (int x = 0; x < 8; ++x) ASSERT_EQ(at(3 + x, 2 + y), at(3 + x, 20 + y)) << x << "," << y;
    }
    list.destroy(parts);
    list.destroy(one);
  }
  // Brightness: the key goes through the same operation, so keyed pixels
  // stay transparent whichever way the picture is lightened or darkened.
  TNovaImages& b = image("b", "w.bri", 3, 2);
  for (std::int32_t level : {40, -40}) {
    set(b, PR_BRIGHTNESS, level);
    compose();
    EXPECT_EQ(at(3, 2), px(kBackground)) << level;
    const std::uint32_t s = 0x102031;
    std::uint32_t expected = 0;
    for (int shift : {0, 8, 16}) {
      const std::int32_t c = static_cast<std::int32_t>((s >> shift) & 255) + level;
      expected |= static_cast<std::uint32_t>(std::clamp(c, 0, 255)) << shift;
    }
    EXPECT_EQ(at(4, 3), blend(expected, px(kBackground), 255)) << level << ": through the key's plane";
  }
}

TEST_F(ImageScene, TilesRepeatWithTheScrollPhaseAndSitOnLattices) {
  PlainFrame f = solid_frame(2, 2, 0);
  f.pixels = {0x110000, 0x220000, 0x330000, 0x440000};
  files.put("t.bri", plain_bri({f}));
  const auto pic = [&](int x, int y) { return f.pixels[static_cast<std::size_t>((y & 1) * 2 + (x & 1))]; };
  TNovaTile& t = tile("t", "t.bri", {4, 4, 7, 5});
  set(t, PR_SCROLLX, 1);
  set(t, PR_SCROLLY, -3);
  compose();
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 7; ++x) ASSERT_EQ(at(4 + x, 4 + y), pic(x + 1, y - 3)) << x << "," << y;
  }
  EXPECT_EQ(at(11, 4), px(kBackground));
  // A distance of 5 puts the pictures on a lattice with gaps between them.
  set(t, PR_SCROLLX, 0);
  set(t, PR_SCROLLY, 0);
  set(t, PR_DISTANCEX, 5);
  compose();
  for (int x = 0; x < 7; ++x) {
    const bool on = x % 5 < 2;
    EXPECT_EQ(at(4 + x, 4), on ? pic(x % 5, 0) : px(kBackground)) << x;
  }
}

TEST_F(ImageScene, LatticeCellsOfAPictureWithContentRectanglesAreDrawnPartByPart) {
  // 5 × 3, keyed blue, with two parts holding something; the same picture
  // without its content rectangles is drawn whole by the lattice.
  PlainFrame f = solid_frame(5, 3, 0x0000FF);
  f.key = 0x0000FF;
  f.pixels[1] = 0x102030;
  f.pixels[2] = 0x405060;
  f.pixels[6] = 0x708090;
  f.pixels[14] = 0xA0B0C0;
  PlainFrame whole = f;
  f.rects = {{1, 0, 3, 2}, {4, 2, 5, 3}};
  files.put("c.bri", plain_bri({f}));
  files.put("w.bri", plain_bri({whole}));

  struct Case {
    Rect area;  // x, y, width, height
    int distance_x, distance_y, scroll_x, scroll_y, alpha;
    bool flip;
  };
  for (const Case& c : {Case{{3, 4, 23, 17}, 7, 5, 2, -1, 255, false}, Case{{-2, 30, 40, 11}, 3, 4, -3, 4, 128, true},
                        Case{{10, 2, 50, 9}, 9, 3, 11, -8, 384, false}, Case{{0, 0, 64, 48}, 6, 6, -1, 0, 300, true}}) {
    SCOPED_TRACE(testing::Message() << c.area.left << "," << c.area.top << " alpha " << c.alpha);
    TNovaTile& parts = tile("parts", "c.bri", c.area);
    for (TNovaTile* t : {&parts}) {
      set(*t, PR_DISTANCEX, c.distance_x);
      set(*t, PR_DISTANCEY, c.distance_y);
      set(*t, PR_SCROLLX, c.scroll_x);
      set(*t, PR_SCROLLY, c.scroll_y);
      set(*t, PR_ALPHA, c.alpha);
      set(*t, PR_FLIPH, c.flip ? 1 : 0);
      set(*t, PR_FLIPV, c.flip ? 1 : 0);
      // A flip gives a tile its picture's size again, as it does an image.
      t->SetBounds(c.area.left, c.area.top, c.area.right, c.area.bottom);
    }
    ASSERT_FALSE(parts.CurrentPicture()->ContentRects().empty());
    compose();
    std::vector<std::uint32_t> drawn;
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x) drawn.push_back(at(x, y));
    }
    const auto drawn_at = [&](int x, int y) { return drawn[static_cast<std::size_t>(y * kW + x)]; };

    // The same cells worked out here, each part drawn by the surface's own
    // operation for the alpha, mirrored within the picture.
    graphics::TDIBX want;
    want.SetSize(kW, kH, 32);
    want.Fill(px(kBackground));
    const graphics::TCustomDIBX& pic = *parts.CurrentPicture();
    const graphics::TCustomDIBX* plane = parts.CurrentAlpha();
    const Rect area = Rect::from_size(c.area.left, c.area.top, c.area.right, c.area.bottom);
    want.SetClipRect(area.intersected({0, 0, kW, kH}));
    const auto origin = [](int edge, int phase, int pitch) {
      return edge - phase % pitch - (phase < 0 ? pitch : 0);
    };
    for (int y = origin(area.top, c.scroll_y, c.distance_y); y < area.bottom; y += c.distance_y) {
      for (int x = origin(area.left, c.scroll_x, c.distance_x); x < area.right; x += c.distance_x) {
        for (const Rect& r : f.rects) {
          const int px0 = x + (c.flip ? 5 - r.right : r.left), py0 = y + (c.flip ? 3 - r.bottom : r.top);
          if (plane) {
            if (c.alpha == 255) want.DrawMasked(px0, py0, *plane, c.flip, c.flip, r, pic);
            else if (c.alpha < 255) want.DrawMaskedBlend(px0, py0, c.alpha, *plane, c.flip, c.flip, r, pic);
            else want.DrawMaskedAdd(px0, py0, c.alpha - 256, *plane, c.flip, c.flip, r, pic);
          } else {
            if (c.alpha == 255) want.Draw(px0, py0, c.flip, c.flip, true, r, pic);
            else if (c.alpha < 255) want.DrawBlend(px0, py0, c.alpha, c.flip, c.flip, true, r, pic);
            else want.DrawAdd(px0, py0, c.alpha - 256, c.flip, c.flip, true, r, pic);
          }
        }
      }
    }
    int differing = 0;
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x) {
        if (drawn_at(x, y) != want.GetPixel(x, y) && differing++ < 3)
          ADD_FAILURE() << "at " << x << "," << y << ": drawn " << std::hex << drawn_at(x, y) << " want "
                        << want.GetPixel(x, y);
      }
    }
    EXPECT_EQ(differing, 0);

    // Opaque and additive cells are those of the whole picture's lattice.
    if (c.alpha >= 255) {
      list.destroy(parts);
      TNovaTile& one = tile("one", "w.bri", c.area);
      set(one, PR_DISTANCEX, c.distance_x);
      set(one, PR_DISTANCEY, c.distance_y);
      set(one, PR_SCROLLX, c.scroll_x);
      set(one, PR_SCROLLY, c.scroll_y);
      set(one, PR_ALPHA, c.alpha);
      set(one, PR_FLIPH, c.flip ? 1 : 0);
      set(one, PR_FLIPV, c.flip ? 1 : 0);
      one.SetBounds(c.area.left, c.area.top, c.area.right, c.area.bottom);
      compose();
      for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kW; ++x) ASSERT_EQ(at(x, y), drawn_at(x, y)) << "whole lattice at " << x << "," << y;
      }
      list.destroy(one);
    } else {
      list.destroy(parts);
    }
  }
}

TEST_F(ImageScene, TheFilmSpriteShowsTheFrameItIsGivenSharesItsItemAndIsNeverSaved) {
  PlainFrame second = solid_frame(2, 4, 0x102030);
  second.pixels[0] = 0x405060;
  files.put("s.bri", plain_bri({solid_frame(3, 2, kPic), second}));
  auto& sprite = list.make<TNovaImage>();
  sprite.SetName("sprite");
  set(sprite, PR_PARENT, "");
  set(sprite, PR_SOURCE, "s.bri");
  set(sprite, PR_LEFT, 5);
  set(sprite, PR_TOP, 6);
  EXPECT_EQ(sprite.ComponentType(), LT_NONE);
  EXPECT_TRUE(sprite.Properties().implements(PR_SOURCE));
  EXPECT_TRUE(sprite.Properties().implements(PR_BRIGHTNESS));
  EXPECT_EQ(get_int(sprite, PR_WIDTH), 3) << "the first frame is shown, at its size";
  EXPECT_EQ(get_int(sprite, PR_HEIGHT), 2);
  compose();
  EXPECT_EQ(at(5, 6), kPic);
  EXPECT_EQ(at(7, 7), kPic);
  EXPECT_EQ(at(8, 6), px(kBackground));

  // The frame list chooses the frame; the sprite does not animate itself.
  sprite.SetFrame(1);
  for (int k = 0; k < 20; ++k) frame(100);
  EXPECT_EQ(sprite.Frame(), 1);
  EXPECT_EQ(get_int(sprite, PR_WIDTH), 2);
  EXPECT_EQ(get_int(sprite, PR_HEIGHT), 4);
  compose();
  EXPECT_EQ(at(5, 6), 0x405060u);
  EXPECT_EQ(at(6, 9), 0x102030u);
  EXPECT_EQ(at(7, 6), px(kBackground)) << "the first frame's area is painted over";

  // Brightness through its property, saturating per channel.
  set(sprite, PR_BRIGHTNESS, 40);
  EXPECT_EQ(get_int(sprite, PR_BRIGHTNESS), 40);
  compose();
  EXPECT_EQ(at(5, 6), 0x687888u) << std::hex << at(5, 6);
  set(sprite, PR_BRIGHTNESS, -0x50);
  compose();
  EXPECT_EQ(at(6, 9), 0u) << std::hex << at(6, 9);

  // One cache item with an image of the same file, released with the last.
  TNovaImages& img = image("img", "s.bri", 20, 20);
  ASSERT_NE(cache.Find("s.bri"), nullptr);
  EXPECT_EQ(cache.Find("s.bri")->UserCount(), 2);

  // A frame outside the list shows nothing and has no size.
  sprite.SetFrame(2);
  compose();
  EXPECT_EQ(at(5, 6), px(kBackground));
  EXPECT_EQ(get_int(sprite, PR_WIDTH), 0);

  // Never saved: a screen record keeps the image and leaves the sprite
  // out, also as an image's child.
  sprite.SetFrame(0);
  sprite.SetParent(&img);
  core::ByteWriter w;
  list.WriteScreen(w);
  const std::vector<std::uint8_t> bytes = w.take();
  TNovaBaseList other{{.factory = factory, .pictures = &cache, .script_values = &script, .clock = &clock}};
  core::ByteReader r(bytes);
  other.ReadScreen(r, kComponentRecordVersion);
  EXPECT_TRUE(r.at_end());
  EXPECT_NE(other.FindComponent("img"), nullptr);
  EXPECT_EQ(other.FindComponent("sprite"), nullptr);
  EXPECT_EQ(other.ItemCount(), 1);
  EXPECT_EQ(cache.Find("s.bri")->UserCount(), 3) << "the read image is a user too";

  list.destroy(img);  // its child, the sprite, with it
  EXPECT_EQ(list.FindComponent("sprite"), nullptr);
  EXPECT_EQ(cache.Find("s.bri")->UserCount(), 1);
  other.Reset();
  EXPECT_EQ(cache.Find("s.bri"), nullptr) << "the item goes with its last user";
}

TEST_F(ImageScene, TheMaskDecidesHitsAndOutsideThePlaneIsAMiss) {
  PlainFrame top = solid_frame(4, 4, kPic);
  top.plane.assign(16, 255);
  top.plane[5] = 0;  // pixel (1, 1) is fully transparent
  files.put("top.bri", plain_bri({top}));
  files.put("under.bri", plain_bri({solid_frame(8, 8, 0x123456)}));
  TNovaImages& under = image("under", "under.bri", 0, 0);
  TNovaImages& over = image("over", "top.bri", 2, 2);
  set(over, PR_PRIORITY, 5);
  const auto target = [&](int x, int y) { return list.front_base().HitTest({x, y}, 1u << IM_NONE); };
  EXPECT_EQ(target(3, 3), &over) << "without PR_CAPTUREMASK the whole rectangle counts";
  set(over, PR_CAPTUREMASK, 1);
  EXPECT_EQ(target(3, 3), &under) << "a transparent pixel lets the click through";
  EXPECT_EQ(target(4, 3), &over);
  set(over, PR_FLIPH, 1);
  EXPECT_EQ(target(4, 3), &under) << "the mask is mirrored with the picture";
  set(over, PR_FLIPH, 0);
  // A zoomed-down picture maps points onto the plane; a width the script
  // made wider than the picture reads outside it: a miss, not a stray read.
  set(over, PR_WIDTH, 40);
  EXPECT_EQ(target(30, 3), &list.front_base());
  // A tile wraps the plane by the picture size with its scroll phase.
  TNovaTile& t = tile("t", "top.bri", {20, 20, 12, 12});
  set(t, PR_CAPTUREMASK, 1);
  set(t, PR_PRIORITY, 9);
  EXPECT_EQ(target(25, 25), &list.front_base()) << "(5, 5) wraps onto the transparent (1, 1)";
  EXPECT_EQ(target(26, 25), &t);
  set(t, PR_SCROLLX, -1);
  EXPECT_EQ(target(26, 25), &list.front_base());
}

TEST_F(ImageScene, ReloadsOfTheCacheLeaveNoComponentWithAFreedPicture) {
  files.put("q.bri", plain_bri({solid_frame(4, 4, kPic), solid_frame(4, 4, 0x00FF00)}));
  std::vector<TNovaImages*> shown;
  for (int i = 0; i < 10; ++i) {
    TNovaImages& c = image("i" + std::to_string(i), "q.bri", i * 5, 0);
    set(c, PR_BRIGHTNESS, i % 2 ? 20 : 0);
    shown.push_back(&c);
  }
  compose();
  cache.SetQuality(true);
  compose();
  EXPECT_EQ(at(0, 0), kPic);
  cache.ReleaseSurfaces();
  compose();
  EXPECT_EQ(at(0, 0), px(kBackground)) << "lost pictures draw nothing";
  cache.RecreateSurfaces();
  set(*shown[0], PR_INDEX, 1);
  compose();
  EXPECT_EQ(at(0, 0), 0x00FF00u);
  // A stale picture is reloaded at the next Acquire of its key; the users
  // shown before take the new frames at once.
  files.put("q.bri", plain_bri({solid_frame(4, 4, 0x0000FF)}));
  cache.MarkStale("q.bri");
  image("late", "q.bri", 0, 30);
  compose();
  EXPECT_EQ(at(0, 30), 0x0000FFu);
  EXPECT_EQ(at(10, 0), 0x0000FFu);
  EXPECT_EQ(at(5, 0), 0x1414FFu) << "brightness rebuilt from the new frame";
  EXPECT_EQ(get_int(*shown[0], PR_INDEX), 1) << "an index past the new frames shows nothing";
  EXPECT_EQ(at(1, 1), px(kBackground));
}

TEST(DrawTable, EveryRowNamesTheOperationOfItsSituation) {
  for (const DrawRow& r : kDrawTable) {
    const bool masked = r.op == DrawOp::DrawMasked || r.op == DrawOp::DrawMaskedBlend ||
                        r.op == DrawOp::DrawMaskedAdd || r.op == DrawOp::DrawMaskedRotate ||
                        r.op == DrawOp::StretchDrawMasked || r.op == DrawOp::StretchDrawMaskedAdd;
    EXPECT_EQ(masked, r.plane);
    const bool rotated = r.op == DrawOp::DrawRotate || r.op == DrawOp::DrawMaskedRotate;
    EXPECT_EQ(rotated, r.rotated);
    const bool stretched = r.op >= DrawOp::StretchDraw;
    EXPECT_EQ(stretched, !r.rotated && r.zoomed);
    const bool adds = r.op == DrawOp::DrawAdd || r.op == DrawOp::DrawMaskedAdd || r.op == DrawOp::StretchDrawAdd ||
                      r.op == DrawOp::StretchDrawMaskedAdd;
    EXPECT_EQ(adds, !r.rotated && r.range == AlphaRange::Add);
    EXPECT_EQ(r.pass == DrawRow::Strength, adds);
  }
  EXPECT_EQ(draw_row(false, false, alpha_range(255), false).op, DrawOp::Draw);
  EXPECT_EQ(draw_row(false, true, alpha_range(1), false).op, DrawOp::DrawMaskedBlend);
  EXPECT_EQ(draw_row(false, false, alpha_range(256), true).op, DrawOp::StretchDrawAdd);
}

}  // namespace
}  // namespace nova::test
