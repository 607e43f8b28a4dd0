// `nova img wipe`: a contact sheet of a screen transition, so that authors
// can see each type with their own pictures and parameters
// (docs/transitions.md shows every type this way).
#include "tools/img_wipe_command.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/format.h"
#include "expr/random.h"
#include "files/stream.h"
#include "graphics/memory_dibx.h"
#include "graphics/picture_files.h"
#include "graphics/png_codec.h"
#include "graphics/wipes.h"
#include "platform/codepage.h"
#include "tools/command_errors.h"

namespace nova::tools {
namespace {

namespace fs = std::filesystem;
using graphics::TDIBX;

const char* kWipeUsage =
    "usage: nova img wipe OLD NEW OUT.png --type N [--reverse] [--param0 P] [--param1 S]\n"
    "                     [--mask FILE] [--key K] [--steps N] [--depth 32|16] [--seed S]\n\n"
    "Writes the transition of type N (1 to 38, docs/transitions.md) from the picture\n"
    "OLD to the picture NEW as a strip of N frames (5 unless given, at most 64) at\n"
    "evenly spaced moments from its start to its last frame, separated by grey lines.\n"
    "OLD and NEW are PNG, bitmap or layered files (the first frame) of one size.\n"
    "  --reverse   the reverse flag of the transition\n"
    "  --param0, --param1  its parameters (the type's defaults unless given)\n"
    "  --mask      the mask picture of the mask types (19, 20, 21)\n"
    "  --key       the title's image key for layered pictures (0 by default)\n"
    "  --depth     the screen's bit count: 32 (default) or 16 (5-6-5)\n"
    "  --seed      the seed of the random generator (types 29 and 38; 1 by default)\n";

struct WipeOptions {
  std::vector<std::string> files;
  std::optional<int> type;
  bool reverse = false;
  std::optional<std::int32_t> param0, param1;
  std::optional<std::string> mask;
  std::int32_t key = 0;
  int steps = 5;
  int depth = 32;
  std::uint32_t seed = 1;
  bool help = false;
};

std::int64_t parse_number(const std::string& option, const std::string& text, std::int64_t lo, std::int64_t hi) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(hex ? text.c_str() + 2 : text.c_str(), &end, hex ? 16 : 10);
  if (text.empty() || errno || !end || *end || v < lo || v > hi) {
    fail(core::format("%s needs a whole number from %s to %s, not \"%s\"",
                      {option, std::to_string(lo), std::to_string(hi), text}));
  }
  return v;
}

WipeOptions parse(const std::vector<std::string>& args) {
  WipeOptions o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) fail(a + " needs a value");
      return args[++i];
    };
    if (a == "--help" || a == "-h") {
      o.help = true;
    } else if (a == "--type") {
      o.type = static_cast<int>(parse_number(a, value(), 1, graphics::kLastWipeType));
    } else if (a == "--reverse") {
      o.reverse = true;
    } else if (a == "--param0") {
      o.param0 = static_cast<std::int32_t>(parse_number(a, value(), INT32_MIN, INT32_MAX));
    } else if (a == "--param1") {
      o.param1 = static_cast<std::int32_t>(parse_number(a, value(), INT32_MIN, INT32_MAX));
    } else if (a == "--mask") {
      o.mask = value();
    } else if (a == "--key") {
      o.key = static_cast<std::int32_t>(static_cast<std::uint32_t>(parse_number(a, value(), INT32_MIN, UINT32_MAX)));
    } else if (a == "--steps") {
      o.steps = static_cast<int>(parse_number(a, value(), 1, 64));
    } else if (a == "--depth") {
      o.depth = static_cast<int>(parse_number(a, value(), 16, 32));
      if (o.depth != 16 && o.depth != 32) fail("--depth is 32 or 16");
    } else if (a == "--seed") {
      o.seed = static_cast<std::uint32_t>(parse_number(a, value(), 0, UINT32_MAX));
    } else if (a.size() > 1 && a[0] == '-') {
      fail("unknown option " + a + " (see nova img wipe --help)");
    } else {
      o.files.push_back(a);
    }
  }
  return o;
}

// The mask picture is a host file given by its path.
class HostPictureFiles : public graphics::PictureFiles {
 public:
  bool exists(const std::string& name) const override {
    std::error_code ec;
    return fs::is_regular_file(fs::path(name), ec);
  }
  std::vector<std::uint8_t> read_all(const std::string& name) const override {
    files::TKvMemoryStream stream;
    stream.LoadFromFile(fs::path(name));
    return {stream.bytes().begin(), stream.bytes().end()};
  }
};

void load_screen(const std::string& path, std::int32_t key, int depth, TDIBX& out) {
  files::TKvMemoryStream stream;
  stream.LoadFromFile(fs::path(path));
  out.SetSize(0, 0, depth);
  out.LoadFromStream(stream, key);
  if (out.IsEmpty() || out.GetBitCount() != depth) fail(path + ": not a PNG, bitmap or layered picture");
}

// A channel of `bits` bits widened to 8.
std::uint32_t widen(std::uint32_t v, int bits) { return (v << (8 - bits)) | (v >> (2 * bits - 8)); }

// Frame pixels as 24-bit colours of the sheet.
std::uint32_t to_rgb(std::uint32_t p, int depth) {
  if (depth == 32) return p & 0xFFFFFF;
  return widen((p >> 11) & 31, 5) << 16 | widen((p >> 5) & 63, 6) << 8 | widen(p & 31, 5);
}

int run_wipe(const WipeOptions& o) {
  if (o.files.size() != 3) fail("wipe needs OLD, NEW and OUT.png (see nova img wipe --help)");
  if (!o.type) fail("wipe needs --type N (1 to 38)");
  TDIBX old_screen, new_screen, target;
  load_screen(o.files[0], o.key, o.depth, old_screen);
  load_screen(o.files[1], o.key, o.depth, new_screen);
  const int w = old_screen.GetWidth(), h = old_screen.GetHeight();
  if (new_screen.GetWidth() != w || new_screen.GetHeight() != h) {
    fail(core::format("%s is %d x %d but %s is %d x %d; the screens must have one size",
                      {o.files[0], w, h, o.files[1], new_screen.GetWidth(), new_screen.GetHeight()}));
  }
  // The screen shows the old picture when the transition starts (the
  // twists leave the rows that have not started as they are).
  target.SetSize(w, h, o.depth);
  target.Assign(old_screen);

  const graphics::WipeGreyTables greys = graphics::make_wipe_grey_tables(o.depth);
  expr::StandardRandom random(o.seed);
  HostPictureFiles host;
  const graphics::WipeServices services{&host, o.key, &greys, &random};
  // A duration of 1000 units: the moments are i × 999 / (steps − 1).
  constexpr std::int32_t kDuration = 1000;
  auto wipe = graphics::CreateTransition(*o.type, {&target, &old_screen, &new_screen}, services, kDuration);
  if (!wipe) fail(core::format("type %d makes no transition", {*o.type}));
  wipe->SetReverse(o.reverse);
  if (o.param0) wipe->SetParam(0, *o.param0);
  if (o.param1) wipe->SetParam(1, *o.param1);
  if (o.mask) wipe->SetMaskName(*o.mask);
  wipe->Prepare();

  constexpr int kGap = 2;
  constexpr std::uint32_t kGapColour = 0x808080;
  const std::int64_t sheet_width = std::int64_t{w} * o.steps + std::int64_t{kGap} * (o.steps - 1);
  if (sheet_width > 0x7FFFFFFF / 4) fail("the strip would be too wide");
  graphics::TDIBSurface sheet;
  sheet.SetSize(static_cast<int>(sheet_width), h, 24);
  sheet.Fill(kGapColour);
  for (int i = 0; i < o.steps; ++i) {
    const std::int32_t e =
        o.steps == 1 ? 0 : static_cast<std::int32_t>(std::int64_t{i} * (kDuration - 1) / (o.steps - 1));
    wipe->SetElapsed(e);
    wipe->DrawStep();
    const int left = i * (w + kGap);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) sheet.SetPixel(left + x, y, to_rgb(target.GetPixel(x, y), o.depth));
    }
  }
  files::MemoryBlock png;
  graphics::write_png(sheet, -1, png);
  files::host::write_file_atomically(fs::path(o.files[2]), png.bytes());
  return 0;
}

}  // namespace

int run_img_wipe(const std::vector<std::string>& args) {
  const WipeOptions o = parse(args);
  if (o.help) {
    std::fputs(kWipeUsage, stdout);
    return 0;
  }
  return run_wipe(o);
}

}  // namespace nova::tools
