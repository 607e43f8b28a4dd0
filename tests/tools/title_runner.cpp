#include "title_runner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <sstream>

#include "files/stream.h"
#include "graphics/brios.h"
#include "graphics/dib_surface.h"
#include "graphics/png_codec.h"
#include "support/test_support.h"
#include "tools/toolchain/source_text.h"

namespace nova::test {

namespace fs = std::filesystem;

namespace {

std::string shell_quote(const fs::path& p) { return "'" + p.string() + "'"; }

using At = Expectation::At;

std::string text_of(At at) {
  return at.run == 1 ? std::to_string(at.tick) : std::to_string(at.run) + "/" + std::to_string(at.tick);
}

std::string shot_name(At at) { return "shot-" + std::to_string(at.run) + "-" + std::to_string(at.tick) + ".png"; }

// "TICK" (of the first run) or "RUN/TICK".
At at_of(const std::string& word) {
  const std::size_t slash = word.find('/');
  if (slash == std::string::npos) return {1, std::stoi(word)};
  return {std::stoi(word.substr(0, slash)), std::stoi(word.substr(slash + 1))};
}

std::unique_ptr<graphics::TDIBSurface> read_picture(const fs::path& p) {
  const std::string bytes = read_file(p);
  auto s = std::make_unique<graphics::TDIBSurface>();
  std::int32_t transparent = -1;
  graphics::read_png({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, *s, transparent, {});
  return s;
}

// 0xRRGGBB of a pixel of a 24- or 32-bit picture.
std::uint32_t rgb_at(const graphics::TDIBSurface& s, int x, int y) { return s.GetPixel(x, y) & 0xFFFFFF; }

// The first pixel where two pictures differ, or "".
std::string first_difference(const graphics::TDIBSurface& want, const graphics::TDIBSurface& got) {
  if (want.Width() != got.Width() || want.Height() != got.Height()) {
    return "the sizes differ: " + std::to_string(want.Width()) + "x" + std::to_string(want.Height()) + " wanted, " +
           std::to_string(got.Width()) + "x" + std::to_string(got.Height()) + " shown";
  }
  for (int y = 0; y < want.Height(); ++y) {
    for (int x = 0; x < want.Width(); ++x) {
      if (rgb_at(want, x, y) != rgb_at(got, x, y)) {
        char text[96];
        std::snprintf(text, sizeof text, "pixel %d, %d is %06X, not %06X", x, y, rgb_at(got, x, y), rgb_at(want, x, y));
        return text;
      }
    }
  }
  return "";
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

std::vector<std::string> words_of(const std::string& line) {
  std::vector<std::string> w;
  std::istringstream in(line);
  for (std::string s; in >> s;) w.push_back(s);
  return w;
}

// Whether the lines of `block` stand in `lines` together and in order.
bool holds_block(const std::vector<std::string>& lines, const std::vector<std::string>& block) {
  return !block.empty() && std::search(lines.begin(), lines.end(), block.begin(), block.end()) != lines.end();
}

// The part of a trace line after its clock ("0000000f : start.nsb(3)").
std::string without_clock(const std::string& line) {
  const std::size_t at = line.find(" : ");
  return at == std::string::npos ? line : line.substr(at + 3);
}

}  // namespace

Expectation parse_expectation(const std::string& text, const std::string& where, const fs::path& source) {
  Expectation e;
  for (const std::string& raw : lines_of(text)) {
    const std::string line(tools::trim(raw));
    if (line.empty() || line[0] == '#') continue;
    const std::size_t colon = line.find(':');
    const std::string key = line.substr(0, colon);
    const std::string value = colon == std::string::npos ? "" : std::string(tools::trim(line.substr(colon + 1)));
    if (key == "ticks") {
      e.ticks = std::stoi(value);
    } else if (key == "seed") {
      e.seed = std::stoi(value);
    } else if (key == "args") {
      e.args = value;
    } else if (key == "identical_runs") {
      e.identical_runs = value == "yes";
    } else if (key == "errors") {
      e.errors_allowed = value == "allowed";
    } else if (key == "trace") {
      e.trace.emplace_back(false, value);
    } else if (key == "trace_at") {
      e.trace.emplace_back(true, value);
    } else if (key == "no_trace") {
      e.no_trace.push_back(value);
    } else if (key == "status") {
      e.status.push_back("status " + value);
    } else if (key == "input_file") {
      const fs::path file = source / value;
      if (!fs::exists(file)) ADD_FAILURE() << where << ": there is no input file " << file;
      for (const std::string& input : lines_of(read_file(file))) {
        if (!input.empty() && input[0] != '#') e.input.push_back(input);
      }
    } else if (key == "pictures") {
      e.pictures = value;
    } else if (key == "pixel_png" || key == "pixel_masked" || key == "pixel_fade") {
      const std::vector<std::string> w = words_of(value);
      Expectation::Formula f;
      const std::size_t sources = key == "pixel_png" ? 1 : 2;
      const std::size_t count = 3 + 3 * sources + (key == "pixel_fade" ? 2 : 0);
      if (w.size() != count) {
        ADD_FAILURE() << where << ": " << key << " wants TICK X Y and FILE PX PY for each picture"
                      << (key == "pixel_fade" ? " and ELAPSED DURATION" : "") << ": " << line;
        continue;
      }
      f.kind = key == "pixel_png"      ? Expectation::Formula::Kind::Plain
               : key == "pixel_masked" ? Expectation::Formula::Kind::Masked
                                       : Expectation::Formula::Kind::Fade;
      f.tick = at_of(w[0]);
      f.x = std::stoi(w[1]);
      f.y = std::stoi(w[2]);
      for (std::size_t k = 0; k < sources; ++k) {
        f.file[k] = w[3 + 3 * k];
        f.px[k] = std::stoi(w[4 + 3 * k]);
        f.py[k] = std::stoi(w[5 + 3 * k]);
      }
      if (key == "pixel_fade") {
        f.elapsed = std::stoi(w[9]);
        f.duration = std::stoi(w[10]);
      }
      e.formulas.push_back(f);
    } else if (key == "ink") {
      const std::vector<std::string> w = words_of(value);
      if (w.size() != 7 || w[5].size() != 6) {
        ADD_FAILURE() << where << ": ink wants TICK X Y W H RRGGBB TOLERANCE: " << line;
        continue;
      }
      e.ink.push_back({at_of(w[0]), std::stoi(w[1]), std::stoi(w[2]), std::stoi(w[3]), std::stoi(w[4]),
                       static_cast<std::uint32_t>(std::stoul(w[5], nullptr, 16)), std::stoi(w[6])});
    } else if (key == "same_area" || key == "other_area") {
      const std::vector<std::string> w = words_of(value);
      if (w.size() != 8) {
        ADD_FAILURE() << where << ": " << key << " wants TICK X Y W H TICK2 X2 Y2: " << line;
        continue;
      }
      std::vector<int> n;
      for (const std::string& word : w) n.push_back(word.find('/') == std::string::npos ? std::stoi(word) : 0);
      e.areas.push_back({key == "same_area", at_of(w[0]), n[1], n[2], n[3], n[4], at_of(w[5]), n[6], n[7]});
    } else if (key == "saved") {
      e.status.push_back(value);
    } else if (key == "saved_block") {
      e.saved_blocks.push_back(value);
    } else if (key == "slot_block") {
      const std::vector<std::string> w = words_of(value);
      if (w.size() != 2) ADD_FAILURE() << where << ": slot_block wants SLOT FILE: " << line;
      else e.slot_blocks.emplace_back(std::stoi(w[0]), w[1]);
    } else if (key == "no_status") {
      e.no_status.push_back(value);
    } else if (key == "slot") {
      const std::size_t space = value.find(' ');
      if (space == std::string::npos) ADD_FAILURE() << where << ": slot: needs a slot and a line";
      else e.slot_lines.emplace_back(std::stoi(value.substr(0, space)), value.substr(space + 1));
    } else if (key == "input") {
      e.input.push_back(value);
    } else if (key == "screenshot") {
      const std::vector<std::string> w = words_of(value);
      if (w.size() != 2) ADD_FAILURE() << where << ": screenshot wants TICK FILE: " << line;
      if (w.size() == 2) e.screenshots.push_back({at_of(w[0]), w[1]});
    } else if (key == "runs") {
      e.runs = std::stoi(value);
    } else if (key == "picture_file" || key == "picture_colour") {
      const std::vector<std::string> w = words_of(value);
      Expectation::PictureFile f;
      if (key == "picture_file" && w.size() == 3) {
        f = {w[0], std::stoi(w[1]), at_of(w[2])};
      } else if (key == "picture_colour" && w.size() == 5 && w[2].find('x') != std::string::npos) {
        f = {w[0],
             std::stoi(w[1]),
             {1, -1},
             std::stoi(w[2]),
             std::stoi(w[2].substr(w[2].find('x') + 1)),
             static_cast<std::uint32_t>(std::stoul(w[3], nullptr, 16)),
             std::stoi(w[4])};
      } else {
        ADD_FAILURE() << where
                      << ": picture_file wants FILE MODE TICK, picture_colour FILE MODE WxH RRGGBB TOLERANCE: " << line;
        continue;
      }
      e.picture_files.push_back(f);
    } else if (key == "pixel") {
      const std::vector<std::string> w = words_of(value);
      if (w.size() != 4 || w[3].size() != 6) ADD_FAILURE() << where << ": pixel wants TICK X Y RRGGBB: " << line;
      if (w.size() == 4) {
        e.pixels.push_back({at_of(w[0]), std::stoi(w[1]), std::stoi(w[2]),
                            static_cast<std::uint32_t>(std::stoul(w[3], nullptr, 16))});
      }
    } else {
      ADD_FAILURE() << where << ": unknown expectation " << line;
    }
  }
  return e;
}

namespace {

// The player's options for the input and the screenshots of run `run`;
// the shots are written into `dir` (shot_name).
std::string input_and_shots(const Expectation& e, const fs::path& dir, int run) {
  std::string options;
  if (!e.input.empty()) {
    std::string script;
    for (const std::string& line : e.input) script += line + "\n";
    write_file(dir / "input.txt", script);
    options += " --input " + shell_quote(dir / "input.txt");
  }
  std::vector<At> ticks;
  for (const auto& s : e.screenshots) ticks.push_back(s.tick);
  for (const auto& p : e.pixels) ticks.push_back(p.tick);
  for (const auto& p : e.picture_files) {
    if (p.tick.tick >= 0) ticks.push_back(p.tick);
  }
  for (const auto& f : e.formulas) ticks.push_back(f.tick);
  for (const auto& i : e.ink) ticks.push_back(i.tick);
  for (const auto& a : e.areas) {
    ticks.push_back(a.tick);
    ticks.push_back(a.other_tick);
  }
  std::sort(ticks.begin(), ticks.end());
  ticks.erase(std::unique(ticks.begin(), ticks.end()), ticks.end());
  for (At t : ticks) {
    if (t.run == run) options += " --screenshot " + std::to_string(t.tick) + ":" + shell_quote(dir / shot_name(t));
  }
  return options;
}

// Plays the built title in `out`, as run `run`; answers the player's exit
// status, with its output in `log`.
int play(const Expectation& e, const fs::path& out, const fs::path& trace_file, int run, std::string& log) {
  const fs::path player = binary_dir() / "src" / "app" / "novaplayer";
  const std::string options = input_and_shots(e, trace_file.parent_path(), run);
  return run_command(shell_quote(player) + " --headless --max-ticks " + std::to_string(e.ticks) + " --seed " +
                         std::to_string(e.seed) + " " + e.args + options + " --trace " + shell_quote(trace_file) + " " +
                         shell_quote(out) + " 2>&1",
                     &log);
}

int build_and_play(const fs::path& source, const Expectation& e, const fs::path& out, const fs::path& trace_file,
                   std::string& log) {
  const fs::path nova = binary_dir() / "tools" / "nova";
  fs::path tree = source;
  if (!e.pictures.empty()) {
    // The pictures the build drew join a copy of the sources.
    tree = out.parent_path() / (out.filename().string() + "-source");
    fs::copy(source, tree, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    std::error_code ec;
    for (const auto& f : fs::directory_iterator(binary_dir() / e.pictures, ec)) {
      if (f.path().extension() == ".bri") fs::copy_file(f.path(), tree / f.path().filename());
    }
    if (ec) ADD_FAILURE() << "no pictures in " << (binary_dir() / e.pictures) << ": " << ec.message();
  }
  if (run_command(shell_quote(nova) + " build " + shell_quote(tree) + " " + shell_quote(out) + " 2>&1", &log) != 0) {
    ADD_FAILURE() << log;
    return -1;
  }
  int status = play(e, out, trace_file, 1, log);
  for (int run = 2; run <= e.runs && status == 0; ++run) status = play(e, out, trace_file, run, log);
  return status;
}

// The first frame of a ".bri" file, checked against `f`; "" when it holds.
std::string picture_file_difference(const fs::path& path, const Expectation::PictureFile& f,
                                    const graphics::TDIBSurface* screen) {
  if (!fs::exists(path)) return "there is no such file";
  const std::string bytes = read_file(path);
  files::TKvMemoryStream in({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
  graphics::TBrioFrameList list(0);
  list.LoadFromStream(in);
  if (list.Count() < 1) return "it holds no frame";
  if (list.storage_mode != f.mode) return "its storage mode is " + std::to_string(list.storage_mode);
  const graphics::TDIBSurface& got = list.Frames(0).surface;
  if (screen) return first_difference(*screen, got);
  if (got.Width() != f.width || got.Height() != f.height) {
    return "it is " + std::to_string(got.Width()) + "x" + std::to_string(got.Height());
  }
  for (int y = 0; y < got.Height(); ++y) {
    for (int x = 0; x < got.Width(); ++x) {
      const std::uint32_t p = rgb_at(got, x, y);
      for (int shift = 0; shift < 24; shift += 8) {
        const int a = static_cast<int>((p >> shift) & 0xFF), b = static_cast<int>((f.rgb >> shift) & 0xFF);
        if (std::abs(a - b) > f.tolerance) {
          char text[64];
          std::snprintf(text, sizeof text, "pixel %d, %d is %06X", x, y, p);
          return text;
        }
      }
    }
  }
  return "";
}

// A formula's pixel, 0xRRGGBB, from the pictures in `folder`.
std::uint32_t formula_pixel(const Expectation::Formula& f, const fs::path& folder) {
  using Kind = Expectation::Formula::Kind;
  std::unique_ptr<graphics::TDIBSurface> pic[2];
  std::uint32_t p[2] = {0, 0};
  for (int k = 0; k < (f.kind == Kind::Plain ? 1 : 2); ++k) {
    pic[k] = read_picture(folder / f.file[k]);
    p[k] = rgb_at(*pic[k], f.px[k], f.py[k]);
  }
  const auto per_channel = [](std::uint32_t a, std::uint32_t b, auto fn) {
    std::uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
      const std::uint32_t v = fn(static_cast<int>((a >> shift) & 0xFF), static_cast<int>((b >> shift) & 0xFF));
      out |= std::min<std::uint32_t>(v, 255) << shift;
    }
    return out;
  };
  switch (f.kind) {
    case Kind::Plain: return p[0];
    case Kind::Masked: {
      // A copy weighted by the alpha plane: skipped at 0, else
      // (under × (255 − m) + m × source) >> 8 per channel.
      const graphics::TDIBX* plane = pic[0]->Alpha();
      const int m = plane ? static_cast<int>(plane->GetPixel(f.px[0], f.py[0]) & 0xFF) : 255;
      if (m == 0) return p[1];
      return per_channel(p[0], p[1], [m](int s, int d) { return static_cast<std::uint32_t>((d * (255 - m) + m * s) >> 8); });
    }
    case Kind::Fade: {
      // The new screen blended over the old at opacity e × 256 / d,
      // leaving pixels that are equal alone.
      const int a = f.elapsed * 256 / f.duration;
      if (p[0] == p[1]) return p[0];
      return per_channel(p[1], p[0], [a](int s, int d) { return static_cast<std::uint32_t>((s * a + d * (255 - a)) >> 8); });
    }
  }
  return 0;
}

}  // namespace

void run_title(const fs::path& source, const Expectation& e, const fs::path& folder) {
  {
    std::vector<At> named;
    for (const auto& x : e.screenshots) named.push_back(x.tick);
    for (const auto& x : e.pixels) named.push_back(x.tick);
    for (const auto& x : e.picture_files) named.push_back(x.tick);
    for (const auto& x : e.formulas) named.push_back(x.tick);
    for (const auto& x : e.ink) named.push_back(x.tick);
    for (const auto& x : e.areas) {
      named.push_back(x.tick);
      named.push_back(x.other_tick);
    }
    for (At at : named) {
      ASSERT_TRUE(at.run >= 1 && at.run <= e.runs) << "tick " << text_of(at) << " names a run the title does not play ("
                                                   << e.runs << " runs)";
    }
  }
  TempDir dir;
  const fs::path out = dir / "title";
  std::string log;
  const fs::path nova = binary_dir() / "tools" / "nova";
  const fs::path trace_file = dir / "trace.txt";
  const int status = build_and_play(source, e, out, trace_file, log);
  EXPECT_EQ(status, 0) << log;
  if (e.identical_runs) {
    std::string again;
    EXPECT_EQ(build_and_play(source, e, dir / "again", dir / "trace2.txt", again), 0) << again;
    EXPECT_EQ(read_file(out / "save.dat"), read_file(dir / "again" / "save.dat")) << "two runs, two save files";
    EXPECT_EQ(read_file(trace_file), read_file(dir / "trace2.txt"));
  }
  const std::string trace_text = read_file(trace_file);
  const std::vector<std::string> trace = lines_of(trace_text);
  ASSERT_FALSE(trace.empty()) << log;

  std::size_t at = 0;
  for (const auto& [with_clock, want] : e.trace) {
    while (at < trace.size() && (with_clock ? trace[at] : without_clock(trace[at])) != want) ++at;
    ASSERT_LT(at, trace.size()) << "no trace line \"" << want << "\" in its place; the trace:\n" << trace_text;
    ++at;
  }
  for (const std::string& line : trace) {
    for (const std::string& unwanted : e.no_trace) EXPECT_NE(without_clock(line), unwanted) << "traced: " << line;
    if (!e.errors_allowed) {
      EXPECT_EQ(line.find("<Error>"), std::string::npos) << line;
    }
  }

  for (const auto& shot : e.screenshots) {
    const fs::path got = dir / shot_name(shot.tick);
    ASSERT_TRUE(fs::exists(got)) << "no screenshot at tick " << text_of(shot.tick) << "\n" << log;
    const fs::path want = folder / shot.file;
    const std::string difference = first_difference(*read_picture(want), *read_picture(got));
    if (!difference.empty()) {
      const fs::path kept = folder / (shot.file + ".actual.png");
      fs::copy_file(got, kept, fs::copy_options::overwrite_existing);
      ADD_FAILURE() << shot.file << " at tick " << text_of(shot.tick) << ": " << difference << " (the screen is kept as "
                    << kept.string() << ")";
    }
  }
  for (const auto& px : e.pixels) {
    const fs::path got = dir / shot_name(px.tick);
    ASSERT_TRUE(fs::exists(got)) << "no screenshot at tick " << text_of(px.tick) << "\n" << log;
    const auto picture = read_picture(got);
    ASSERT_TRUE(px.x >= 0 && px.y >= 0 && px.x < picture->Width() && px.y < picture->Height())
        << "pixel " << px.x << ", " << px.y << " lies outside the screen";
    char want[8], shown[8];
    std::snprintf(want, sizeof want, "%06X", px.rgb);
    std::snprintf(shown, sizeof shown, "%06X", rgb_at(*picture, px.x, px.y));
    EXPECT_EQ(std::string(shown), std::string(want)) << "pixel " << px.x << ", " << px.y << " at tick " << text_of(px.tick);
  }

  for (const auto& f : e.formulas) {
    const fs::path got = dir / shot_name(f.tick);
    ASSERT_TRUE(fs::exists(got)) << "no screenshot at tick " << text_of(f.tick) << "\n" << log;
    const auto picture = read_picture(got);
    char want[8], shown[8];
    std::snprintf(want, sizeof want, "%06X", formula_pixel(f, binary_dir() / e.pictures));
    std::snprintf(shown, sizeof shown, "%06X", rgb_at(*picture, f.x, f.y));
    EXPECT_EQ(std::string(shown), std::string(want)) << "pixel " << f.x << ", " << f.y << " at tick " << text_of(f.tick);
  }
  long previous = -1;
  for (const auto& i : e.ink) {
    const fs::path got = dir / shot_name(i.tick);
    ASSERT_TRUE(fs::exists(got)) << "no screenshot at tick " << text_of(i.tick) << "\n" << log;
    const auto picture = read_picture(got);
    long count = 0;
    for (int y = i.y; y < i.y + i.height && y < picture->Height(); ++y) {
      for (int x = i.x; x < i.x + i.width && x < picture->Width(); ++x) {
        const std::uint32_t p = rgb_at(*picture, x, y);
        bool near = true;
        for (int shift = 0; shift < 24; shift += 8) {
          near = near && std::abs(static_cast<int>((p >> shift) & 0xFF) - static_cast<int>((i.rgb >> shift) & 0xFF)) <=
                             i.tolerance;
        }
        count += near ? 1 : 0;
      }
    }
    std::printf("ink at tick %s: %ld pixels\n", text_of(i.tick).c_str(), count);
    if (previous < 0) {
      EXPECT_EQ(count, 0) << "ink at tick " << text_of(i.tick) << ", before the first character";
    } else {
      EXPECT_GT(count, previous) << "no more ink at tick " << text_of(i.tick) << " than before";
    }
    previous = count;
  }

  for (const auto& a : e.areas) {
    const fs::path first = dir / shot_name(a.tick), second = dir / shot_name(a.other_tick);
    ASSERT_TRUE(fs::exists(first) && fs::exists(second)) << "no screenshot at tick " << text_of(a.tick) << " or " << text_of(a.other_tick);
    const auto one = read_picture(first), two = read_picture(second);
    std::set<std::uint32_t> colours;
    std::string differs;
    for (int y = 0; y < a.height; ++y) {
      for (int x = 0; x < a.width; ++x) {
        const std::uint32_t p = rgb_at(*one, a.x + x, a.y + y), q = rgb_at(*two, a.other_x + x, a.other_y + y);
        colours.insert(p);
        if (p != q && differs.empty()) {
          char text[96];
          std::snprintf(text, sizeof text, "%d, %d is %06X there, %06X here", x, y, p, q);
          differs = text;
        }
      }
    }
    const std::string what = "the area " + std::to_string(a.x) + "," + std::to_string(a.y) + " " +
                             std::to_string(a.width) + "x" + std::to_string(a.height) + " at tick " +
                             text_of(a.tick) + " against " + std::to_string(a.other_x) + "," +
                             std::to_string(a.other_y) + " at tick " + text_of(a.other_tick);
    EXPECT_GT(colours.size(), 1u) << what << " holds one colour only";
    if (a.same) {
      EXPECT_EQ(differs, "") << what;
    } else {
      EXPECT_NE(differs, "") << what << ": equal";
    }
  }

  for (const auto& f : e.picture_files) {
    std::unique_ptr<graphics::TDIBSurface> screen;
    if (f.tick.tick >= 0) {
      const fs::path got = dir / shot_name(f.tick);
      ASSERT_TRUE(fs::exists(got)) << "no screenshot at tick " << text_of(f.tick) << "\n" << log;
      screen = read_picture(got);
    }
    const std::string difference = picture_file_difference(out / f.file, f, screen.get());
    EXPECT_EQ(difference, "") << f.file;
  }

  std::string report;
  ASSERT_EQ(run_command(shell_quote(nova) + " dump " + shell_quote(out / "save.dat") + " 2>&1", &report), 0) << report;
  const std::vector<std::string> saved = lines_of(report);
  // Compared without their indent, as the record lines below a table have one.
  for (const std::string& want : e.status) {
    const bool found =
        std::any_of(saved.begin(), saved.end(), [&want](const std::string& line) { return tools::trim(line) == want; });
    EXPECT_TRUE(found) << "no \"" << want << "\" in:\n" << report;
  }
  for (const std::string& name : e.no_status) {
    for (const std::string& line : saved) {
      const std::vector<std::string> words = words_of(line);
      EXPECT_FALSE(words.size() > 2 && words[0] == "status" && words[2] == name) << line;
    }
  }
  for (const std::string& file : e.saved_blocks) {
    const std::vector<std::string> block = lines_of(read_file(folder / file));
    EXPECT_TRUE(holds_block(saved, block)) << "the lines of " << file << " do not stand together in:\n" << report;
  }
  for (const auto& [slot, file] : e.slot_blocks) {
    std::string game;
    ASSERT_EQ(run_command(shell_quote(nova) + " dump " + shell_quote(out / "save.dat") + " --slot " +
                              std::to_string(slot) + " 2>&1",
                          &game),
              0)
        << game;
    const std::vector<std::string> block = lines_of(read_file(folder / file));
    EXPECT_TRUE(holds_block(lines_of(game), block)) << "the lines of " << file << " do not stand together in:\n"
                                                    << game;
  }
  for (const auto& slot_line : e.slot_lines) {
    // A lambda cannot capture a structured binding here (clang 14).
    const auto slot = slot_line.first;
    const std::string& want = slot_line.second;
    std::string game;
    ASSERT_EQ(run_command(shell_quote(nova) + " dump " + shell_quote(out / "save.dat") + " --slot " +
                              std::to_string(slot) + " 2>&1",
                          &game),
              0)
        << game;
    const std::vector<std::string> lines = lines_of(game);
    const bool found = std::any_of(lines.begin(), lines.end(),
                                   [&want](const std::string& line) { return tools::trim(line) == want; });
    EXPECT_TRUE(found) << "no \"" << want << "\" in:\n" << game;
  }
}

}  // namespace nova::test
