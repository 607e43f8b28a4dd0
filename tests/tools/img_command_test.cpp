// `nova img`, run as an author runs it: the examples of docs/pictures.md,
// PNG → layered → PNG round trips, the inspector's JSON, resaving under
// another key, failures, and packing layered pictures.
#include <gtest/gtest.h>

#include <sstream>

#include "core/sjis.h"
#include "graphics/brios.h"
#include "picture_builders.h"
#include "support/test_support.h"

namespace nova::tools {
namespace {

namespace fs = std::filesystem;
namespace gt = graphics::test;
using test::read_file;
using test::TempDir;
using test::write_file;

std::string nova() { return (test::binary_dir() / "tools" / "nova").string(); }

// Runs `nova ARGS` in `dir`; standard output and error apart.
int run(const fs::path& dir, const std::string& args, std::string* out = nullptr, std::string* err = nullptr) {
  std::string text;
  const fs::path err_file = dir / ".stderr";
  const int status = test::run_command(
      "cd '" + dir.string() + "' && " + nova() + " " + args + " 2>'" + err_file.string() + "'", &text);
  if (out) *out = text;
  if (err) *err = read_file(err_file);
  return status;
}

std::unique_ptr<graphics::TBrioFrameList> read_picture(const fs::path& p, std::int32_t key = 0) {
  auto list = std::make_unique<graphics::TBrioFrameList>(key);
  list->LoadFromFile(p, graphics::BrioLoad::KeepLayers);
  return list;
}

std::vector<std::uint32_t> pixels(const graphics::TDIBSurface& s) {
  std::vector<std::uint32_t> v;
  for (int y = 0; y < s.Height(); ++y) {
    for (int x = 0; x < s.Width(); ++x) v.push_back(s.GetPixel(x, y));
  }
  return v;
}
std::vector<std::uint32_t> plane(const graphics::TDIBSurface& s) {
  std::vector<std::uint32_t> v;
  for (int y = 0; s.HasAlpha() && y < s.Height(); ++y) {
    for (int x = 0; x < s.Width(); ++x) v.push_back(s.Alpha()->GetPixel(x, y));
  }
  return v;
}

// JSON with the white space outside strings taken out.
std::string compact(const std::string& json) {
  std::string out;
  bool in_string = false;
  for (char c : json) {
    if (c == '"') in_string = !in_string;
    if (!in_string && (c == ' ' || c == '\n' || c == '\r' || c == '\t')) continue;
    out += c;
  }
  return out;
}

// A PNG of 6 × 4 in a colour type and depth, with samples that vary.
gt::RawPng png_of(int type, int depth) {
  gt::RawPng p;
  p.width = 6;
  p.height = 4;
  p.colour_type = type;
  p.depth = depth;
  const int channels = type == 0 || type == 3 ? 1 : type == 4 ? 2 : type == 2 ? 3 : 4;
  for (std::uint32_t i = 0; i < 24u * static_cast<std::uint32_t>(channels); ++i) {
    p.samples.push_back((i * 2654435761u >> 7) % (1u << depth));
  }
  if (type == 3) {
    for (int i = 0; i < 3 << depth; ++i) p.plte.push_back(static_cast<std::uint8_t>(i * 29 + 3));
  }
  return p;
}

// The documentation's inputs.
void make_inputs(const fs::path& dir) {
  write_file(dir / "face.png", gt::build_png(png_of(6, 8)));
  gt::RawBmp bmp;
  bmp.width = 16;
  bmp.height = 8;
  for (int i = 0; i < 16 * 8; ++i) bmp.pixels += std::string{static_cast<char>(i), static_cast<char>(2 * i), '\x40'};
  write_file(dir / "photo.bmp", gt::build_bmp(bmp));
  gt::RawPng logo = png_of(3, 4);
  logo.trns = std::string("\xFF\x00", 2);
  write_file(dir / "logo.png", gt::build_png(logo));
  gt::RawFile anim;
  anim.mode = 0;
  for (int i = 0; i < 3; ++i) {
    gt::RawLayer back, front;
    back.colour =
        gt::zlib(gt::dib_rows(4, 2, 16, std::vector<std::uint32_t>(8, 0x1234u * static_cast<std::uint32_t>(i + 1))));
    front.colour = gt::zlib(gt::dib_rows(4, 2, 16, {0, 0xFFFF, 0, 0xF800, 0, 0, 0x07E0, 0}));
    front.transparent = 0;
    front.opacity = 128;
    anim.frames.push_back(
        gt::RawFrame{"f" + std::to_string(i), -1, 100, 4, 2, 16, {}, {back, front}, {graphics::Rect{0, 0, 2, 2}}, {}});
  }
  write_file(dir / "anim.bri", gt::build_bri(anim));
}

// Every "$ nova ..." line of the documentation's console blocks, in order.
std::vector<std::string> doc_commands() {
  std::istringstream in(read_file(test::source_dir() / "docs" / "pictures.md"));
  std::vector<std::string> out;
  std::string line;
  bool console = false;
  while (std::getline(in, line)) {
    if (line == "```console") {
      console = true;
    } else if (line == "```") {
      console = false;
    } else if (console && line.rfind("$ nova ", 0) == 0) {
      out.push_back(line.substr(7));
    }
  }
  return out;
}

TEST(NovaImg, TheDocumentedExamplesRunAndCoverEveryCommandAndOption) {
  TempDir dir;
  make_inputs(dir.path());
  const auto commands = doc_commands();
  ASSERT_GE(commands.size(), 15u);
  std::string all;
  for (const std::string& c : commands) {
    std::string out, err;
    EXPECT_EQ(run(dir.path(), c, &out, &err), 0) << c << "\n" << err;
    all += c + "\n";
  }
  for (const char* option : {"img tobri ", "img topng ", "img resave ", "img --json ", "--key -", "--key 0x", "--key 4",
                             "--mode 0", "--mode 1", "--mode 2", "--quality ", "--frame ", "--all", "--out-key ",
                             "--keep-layers\n", "--keep-layers=1", "--keep-layers=0", "--first"}) {
    EXPECT_NE(all.find(option), std::string::npos) << option << " is not run by any example";
  }
  // What the examples say they make.
  for (const char* made : {"face.bri", "face-keyed.bri", "photo.bri", "logo.bri", "face-again.png", "face-keyed.png",
                           "anim_000.png", "anim_001.png", "anim_002.png", "third.png", "face-raw.bri",
                           "face-plain.bri", "flat.bri", "anim-layers.bri", "anim-again.bri"}) {
    EXPECT_TRUE(fs::exists(dir / made)) << made;
  }
  EXPECT_EQ(read_picture(dir / "photo.bri")->storage_mode, 2);
  EXPECT_EQ(read_picture(dir / "photo.bri")->jpeg_quality, 85);
  EXPECT_EQ(read_picture(dir / "logo.bri")->storage_mode, 1);
  EXPECT_EQ(read_picture(dir / "face-raw.bri")->storage_mode, 1);
  EXPECT_EQ(read_picture(dir / "face-keyed.bri", -123456789)->storage_mode, 1);
  EXPECT_EQ(pixels(read_picture(dir / "face-plain.bri")->Frames(0).surface),
            pixels(read_picture(dir / "face.png")->Frames(0).surface));
  EXPECT_EQ(read_file(dir / "face-keyed.png"), read_file(dir / "face-again.png"));
  EXPECT_EQ(pixels(read_picture(dir / "third.png")->Frames(0).surface),
            pixels(read_picture(dir / "anim_002.png")->Frames(0).surface));
  EXPECT_EQ(read_picture(dir / "flat.bri")->Frames(1).LayerCount(), 1);
  EXPECT_EQ(read_picture(dir / "flat.bri")->jpeg_quality, 60);
  EXPECT_EQ(read_picture(dir / "anim-layers.bri")->Frames(1).LayerCount(), 2);
  EXPECT_EQ(read_file(dir / "anim-layers.bri"), read_file(dir / "anim-again.bri"));
  std::string out;
  ASSERT_EQ(run(dir.path(), "img --json anim.bri --first", &out), 0);
  EXPECT_NE(out.find("\"frame_count\": 1,"), std::string::npos);
  ASSERT_EQ(run(dir.path(), "img --json face-keyed.bri --key -123456789", &out), 0);
  std::string plain;
  ASSERT_EQ(run(dir.path(), "img --json face.bri", &plain), 0);
  EXPECT_NE(out.find(plain.substr(plain.find("\"composite\""), 200)), std::string::npos)
      << "the keyed file reads to the same picture";
}

TEST(NovaImg, PngToLayeredToPngKeepsPixelsAndAlphaForEveryColourType) {
  TempDir dir;
  std::vector<gt::RawPng> inputs;
  for (int d : {1, 2, 4, 8, 16}) inputs.push_back(png_of(0, d));
  for (int d : {8, 16}) {
    inputs.push_back(png_of(2, d));
    inputs.push_back(png_of(4, d));
    inputs.push_back(png_of(6, d));
  }
  for (int d : {1, 2, 4, 8}) inputs.push_back(png_of(3, d));
  gt::RawPng keyed_palette = png_of(3, 8), partial = png_of(3, 2), grey_key = png_of(0, 4), rgb_key = png_of(2, 16);
  keyed_palette.trns = std::string(5, '\xFF') + '\0';
  partial.trns = std::string("\x10\xFF\x00", 3);
  grey_key.trns = std::string("\x00\x05", 2);
  rgb_key.trns = std::string(6, '\x07');
  inputs.insert(inputs.end(), {keyed_palette, partial, grey_key, rgb_key});
  // Every input plainly, and each through one of the storage options in
  // turn (so every option meets palette, grey and colour inputs): each case
  // is two runs of the tool.
  const std::string option_turns[] = {" --mode 1", " --key 0x1234"};
  int n = 0;
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    const gt::RawPng& p = inputs[i];
    for (const std::string& options : {std::string(""), option_turns[i % 2]}) {
      SCOPED_TRACE(::testing::Message() << "type " << p.colour_type << ", depth " << p.depth << ", tRNS "
                                        << !p.trns.empty() << options);
      const std::string in = "in" + std::to_string(n) + ".png", bri = "x" + std::to_string(n) + ".bri",
                        again = "again" + std::to_string(n) + ".png";
      ++n;
      write_file(dir / in, gt::build_png(p));
      std::string err;
      ASSERT_EQ(run(dir.path(), "img tobri " + in + " " + bri + options, nullptr, &err), 0) << err;
      const std::string key = options.find("--key") != std::string::npos ? options : "";
      ASSERT_EQ(run(dir.path(), "img topng " + bri + " " + again + key, nullptr, &err), 0) << err;
      const auto a = read_picture(dir / in), b = read_picture(dir / again);
      const graphics::TBrioFrame& fa = a->Frames(0);
      const graphics::TBrioFrame& fb = b->Frames(0);
      EXPECT_EQ(fb.surface.BitCount(), fa.surface.BitCount());
      EXPECT_EQ(pixels(fb.surface), pixels(fa.surface));
      EXPECT_EQ(plane(fb.surface), plane(fa.surface));
      EXPECT_EQ(fb.transparent, fa.transparent);
      EXPECT_EQ(fb.transparent_colour, fa.transparent_colour);
      if (fa.surface.BitCount() <= 8) {
        EXPECT_EQ(fb.surface.GetPalette(), fa.surface.GetPalette());
      }
    }
  }
}

// A richer file by hand: version 104, an 8-bit frame keyed on index 1 with
// two layers (the bottom one alpha-enabled with a stored key it loses), a
// background, rectangles, and a 4-bit second frame.
std::string rich_file() {
  gt::RawFile f;
  f.version = "104";
  f.mode = 1;
  f.background = 0x00FF0000;  // blue
  gt::RawLayer bottom, top;
  bottom.name = "\x89\xBA";  // Shift-JIS 下
  bottom.transparent = 3;
  bottom.alpha_enabled = true;
  bottom.colour = gt::dib_rows(2, 2, 8, {1, 2, 2, 1});
  bottom.alpha = gt::dib_rows(2, 2, 8, {0, 0x80, 0xFF, 0x10});
  top.visible = false;
  top.opacity = 7;
  top.colour = gt::dib_rows(2, 2, 8, {0, 0, 0, 0});
  const std::vector<graphics::PaletteEntry> pal = {{0, 0, 0, 0}, {0, 0, 0xFF, 0}, {0xFF, 0xFF, 0xFF, 0}};
  f.frames.push_back(gt::RawFrame{
      "A", 1, 33, 2, 2, 8, pal, {bottom, top}, {graphics::Rect{0, 0, 1, 1}}, {graphics::Rect{1, 1, 2, 2}}});
  gt::RawLayer nib;
  nib.colour = gt::dib_rows(3, 1, 4, {0xF, 0x0, 0x1});
  f.frames.push_back(gt::RawFrame{"", 15, 0, 3, 1, 4, {{1, 2, 3, 0}}, {nib}, {}, {}});
  return gt::build_bri(f);
}

TEST(NovaImg, TheInspectorsJsonOfHandBuiltFiles) {
  TempDir dir;
  // The documentation's example, typed as the documentation shows it.
  const std::string doc = read_file(test::source_dir() / "docs" / "pictures.md");
  const std::size_t start = doc.find("```json\n") + 8;
  const std::string documented = doc.substr(start, doc.find("```", start) - start);
  gt::RawFile rg;
  rg.mode = 1;
  gt::RawLayer l;
  l.colour = gt::dib_rows(2, 1, 24, {0xFF0000, 0x00FF00});
  rg.frames.push_back(gt::RawFrame{"", -1, 100, 2, 1, 24, {}, {l}, {}, {}});
  write_file(dir / "rg.bri", gt::build_bri(rg));
  std::string out;
  ASSERT_EQ(run(dir.path(), "img --json rg.bri", &out), 0);
  EXPECT_EQ(compact(out), compact(documented));

  write_file(dir / "rich.bri", rich_file());
  ASSERT_EQ(run(dir.path(), "img --json rich.bri", &out), 0);
  const std::string expected = R"({"version": 104, "frame_count": 2, "background": 16711680, "opaque_bottom": false,
    "is_uncompressed": true, "frames": [
    {"name_hex": "41", "width": 2, "height": 2, "bitcount": 8, "delay": 33,
     "transparent_value": 1, "transparent_colour": 255, "end_offset": 1235,
     "rects": [[0, 0, 1, 1]], "rects2": [[1, 1, 2, 2]],
     "composite": {"palette": ["000000", "ff0000", "ffffff", "000000", )" +
                               [] {
                                 std::string rest;
                                 for (int i = 4; i < 256; ++i) rest += "\"000000\", ";
                                 return rest.substr(0, rest.size() - 2);
                               }() +
                               R"(], "rows": ["0102", "0201"]},
     "alpha": ["0080", "ff10"],
     "screens": {"32": {"rows": ["00ff000000ffffff", "00ffffff00ff0000"], "transparent": 16711680},
                 "16": {"rows": ["f800ffff", "fffff800"], "transparent": 63488}},
     "mask": ["0080", "ff10"], "trim_rect": [0, 0, 2, 2],
     "layers": [
      {"name_hex": "89ba", "visible": true, "transparent": -1, "stored_transparent": 3, "opacity": 255,
       "alpha_enabled": true, "bitcount": 8, "jpeg": false, "rows": ["0102", "0201"], "alpha": ["0080", "ff10"]},
      {"name_hex": "", "visible": false, "transparent": -1, "stored_transparent": -1, "opacity": 7,
       "alpha_enabled": false, "bitcount": 8, "jpeg": false, "rows": ["0000", "0000"], "alpha": null}]},
    {"name_hex": "", "width": 3, "height": 1, "bitcount": 4, "delay": 0,
     "transparent_value": 15, "transparent_colour": 0, "end_offset": 1374,
     "rects": [], "rects2": [],
     "composite": {"palette": ["030201", "000000", "000000", "000000", "000000", "000000", "000000", "000000",
                              "000000", "000000", "000000", "000000", "000000", "000000", "000000", "000000"],
                   "rows": ["f01"]}, "alpha": null,
     "screens": {"32": {"rows": ["000000000003020100000000"], "transparent": 0},
                 "16": {"rows": ["000000000000"], "transparent": 0}},
     "mask": ["00ffff"], "trim_rect": [1, 0, 3, 1],
     "layers": [
      {"name_hex": "", "visible": true, "transparent": -1, "stored_transparent": -1, "opacity": 255,
       "alpha_enabled": false, "bitcount": 4, "jpeg": false, "rows": ["f01"], "alpha": null}]}]})";
  EXPECT_EQ(compact(out), compact(expected));

  // --first: one frame; a PNG: version 0, one frame, no layers.
  ASSERT_EQ(run(dir.path(), "img --json rich.bri --first", &out), 0);
  EXPECT_EQ(compact(out).rfind("{\"version\":104,\"frame_count\":1,", 0), 0u) << out;
  gt::RawPng p;
  p.width = 1;
  p.height = 1;
  p.colour_type = 4;
  p.samples = {0x80, 0x40};
  write_file(dir / "g.png", gt::build_png(p));
  ASSERT_EQ(run(dir.path(), "img --json g.png", &out), 0);
  EXPECT_EQ(compact(out), compact(R"({"version": 0, "frame_count": 1, "background": 0, "opaque_bottom": false,
    "is_uncompressed": false, "frames": [
    {"name_hex": "", "width": 1, "height": 1, "bitcount": 24, "delay": 100,
     "transparent_value": -1, "transparent_colour": -1, "end_offset": 0, "rects": [], "rects2": [],
     "composite": {"palette": null, "rows": ["808080"]}, "alpha": ["40"],
     "screens": {"32": {"rows": ["00808080"], "transparent": -1}, "16": {"rows": ["8410"], "transparent": -1}},
     "mask": ["40"], "trim_rect": [0, 0, 1, 1], "layers": []}]})"));
}

TEST(NovaImg, ResaveOfALayeredKeyedFileEqualsTheBytesBuiltByHand) {
  TempDir dir;
  const std::int32_t in_key = 987654321, out_key = -5;
  std::vector<std::uint32_t> a, b;
  for (std::uint32_t i = 0; i < 15; ++i) {
    a.push_back(i * 0x0A0B0C);
    b.push_back(0xFFFFFF - i);
  }
  const std::string ra = gt::dib_rows(3, 5, 24, a), rb = gt::dib_rows(3, 5, 24, b);
  const std::string plane = gt::dib_rows(3, 5, 8, std::vector<std::uint32_t>(15, 0x99));
  auto file = [&](std::int32_t key, bool rects, bool effective_keys) {
    gt::RawFile f;
    f.mode = 1;
    f.scrambled = true;
    f.quality = 42;
    f.background = 0x123456;
    f.opaque_bottom = true;
    gt::RawLayer l0, l1;
    l0.name = "bottom";
    l0.alpha_enabled = true;
    l0.transparent = effective_keys ? -1 : 0x0A0B0C;  // lost under alpha data
    l0.colour = gt::scramble_rows(ra, 12, key);
    l0.alpha = gt::scramble_rows(plane, 4, key);
    l1.name = "top";
    l1.opacity = 77;
    l1.transparent = 0xFFFFFF;
    l1.colour = gt::scramble_rows(rb, 12, key);
    std::vector<graphics::Rect> r = rects ? std::vector<graphics::Rect>{{0, 0, 1, 1}} : std::vector<graphics::Rect>{};
    f.frames.push_back(gt::RawFrame{"frame", 0x0A0B0C, 250, 3, 5, 24, {}, {l0, l1}, r, r});
    return gt::build_bri(f);
  };
  write_file(dir / "in.bri", file(in_key, true, false));
  std::string err;
  ASSERT_EQ(run(dir.path(), "img resave in.bri out.bri --key 987654321 --out-key -5", nullptr, &err), 0) << err;
  EXPECT_EQ(read_file(dir / "out.bri"), file(out_key, false, true));
  EXPECT_NE(err.find("in.bri has rectangle lists; they are not written"), std::string::npos) << err;
  // Asked for mode 0 under a key: still mode 1, the same bytes.
  ASSERT_EQ(run(dir.path(), "img resave in.bri out0.bri --key 987654321 --out-key -5 --mode 0", nullptr, &err), 0);
  EXPECT_EQ(read_file(dir / "out0.bri"), read_file(dir / "out.bri"));
}

TEST(NovaImg, FailuresExitWithOneLineNamingTheFileAndTheCause) {
  TempDir dir;
  write_file(dir / "garbage.bri", "\x13\x37 this is not a picture at all");
  write_file(dir / "garbage.png", "\x89PNG\r\n\x1a\n and then nothing");
  write_file(dir / "garbage.bmp", "BM\x10");
  write_file(dir / "ok.png", gt::build_png(png_of(2, 8)));
  struct Case {
    std::string args, says;
  };
  const Case cases[] = {
      {"img --json garbage.bri", "garbage.bri: header: "},
      {"img topng garbage.bri x.png", "garbage.bri: "},
      {"img --json garbage.png", "garbage.png: PNG file is damaged"},
      {"img tobri garbage.bmp x.bri", "garbage.bmp: bitmap file: truncated"},
      {"img --json missing.bri", "missing.bri"},
      {"img tobri ok.png x.bri --mode 3", "--mode needs a whole number from 0 to 2, not \"3\""},
      {"img tobri ok.png x.bri --quality high", "--quality needs a whole number"},
      {"img tobri ok.png x.bri --key 4294967296", "--key needs a 32-bit number"},
      {"img tobri ok.png x.bri --key -2147483649", "--key needs a 32-bit number"},
      {"img tobri ok.png x.bri --key 0xZZ", "--key needs a 32-bit number"},
      {"img tobri ok.png", "tobri needs IN and OUT.bri"},
      {"img topng ok.png x.png --frame 1", "ok.png: there is no frame 1"},
      {"img topng ok.png x.png --frame 0 --all", "--frame and --all do not go together"},
      {"img --json ok.png --mode 1", "--mode and --quality do not go with json"},
      {"img tobri ok.png x.bri --first", "--first does not go with tobri"},
      {"img resave ok.png x.bri --frame 0", "--frame and --all do not go with resave"},
      {"img tobri x.bri y.bri", "x.bri"},
      {"img --bogus", "unknown option --bogus"},
      {"img frobnicate", "unknown command \"frobnicate\""},
      {"img", "a command is needed"},
      {"img tobri ok.png nofolder/x.bri", "nofolder"},
  };
  for (const Case& c : cases) {
    std::string out, err;
    EXPECT_EQ(run(dir.path(), c.args, &out, &err), 1) << c.args;
    EXPECT_NE(err.find(c.says), std::string::npos) << c.args << "\n" << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << c.args << ": one line\n" << err;
    EXPECT_EQ(err.rfind("nova img: ", 0), 0u) << err;
  }
  EXPECT_FALSE(fs::exists(dir / "x.bri")) << "nothing written by a failure";
  EXPECT_FALSE(fs::exists(dir / "x.png"));
  std::string out;
  EXPECT_EQ(run(dir.path(), "img --help", &out), 0);
  EXPECT_NE(out.find("usage: nova img tobri"), std::string::npos);
}

TEST(NovaImg, PackingCompressesModeOnePicturesAndStoresTheOthers) {
  TempDir dir;
  gt::RawFile f;
  f.mode = 1;
  gt::RawLayer l;
  l.colour = std::string(64 * 64 * 3, '\x55');
  f.frames.push_back(gt::RawFrame{"", -1, 100, 64, 64, 24, {}, {l}, {}, {}});
  write_file(dir / "src" / "raw.bri", gt::build_bri(f));
  f.mode = 0;
  f.frames[0].layers[0].colour = gt::zlib(l.colour);
  write_file(dir / "src" / "packed.bri", gt::build_bri(f));
  write_file(dir / "src" / "project.nvp", "title: pictures\nstart: start.nsb\n");
  write_file(dir / "src" / "start.nvs", "Comment nothing\n");
  std::string out;
  ASSERT_EQ(run(dir.path(), "pack src game.dat", &out), 0) << out;
  ASSERT_EQ(run(dir.path(), "build src title --pack", &out), 0) << out;
  for (const char* archive : {"game.dat", "title/game.dat"}) {
    ASSERT_EQ(run(dir.path(), std::string("list ") + archive, &out), 0);
    std::istringstream lines(out);
    std::string line;
    int seen = 0;
    while (std::getline(lines, line)) {
      if (line.find("raw.bri") != std::string::npos) {
        EXPECT_NE(line.find(" zlib "), std::string::npos) << archive << ": " << line;
        ++seen;
      }
      if (line.find("packed.bri") != std::string::npos) {
        EXPECT_NE(line.find(" stored "), std::string::npos) << archive << ": " << line;
        ++seen;
      }
    }
    EXPECT_EQ(seen, 2) << out;
  }
}

}  // namespace
}  // namespace nova::tools
