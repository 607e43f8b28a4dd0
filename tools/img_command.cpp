// `nova img`: pictures for authors. Makes layered files from PNG and
// bitmap files, writes frames out as PNG, writes layered files again under
// another key or storage mode, and shows everything the player reads from a
// picture as JSON (docs/pictures.md describes the form).
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/format.h"
#include "files/stream.h"
#include "graphics/brios.h"
#include "graphics/png_codec.h"
#include "platform/codepage.h"
#include "tools/command_errors.h"
#include "tools/commands.h"
#include "tools/img_wipe_command.h"

namespace nova::tools {
namespace {

namespace fs = std::filesystem;
using graphics::BrioLoad;
using graphics::TBrioFrame;
using graphics::TBrioFrameList;
using graphics::TDIBSurface;

const char* kUsage =
    "usage: nova img tobri IN.png|IN.bmp OUT.bri [--key N] [--mode 0|1|2] [--quality Q]\n"
    "       nova img topng IN OUT.png [--key N] [--frame I | --all]\n"
    "       nova img resave IN OUT [--key N] [--out-key M] [--mode 0|1|2] [--quality Q]\n"
    "                       [--keep-layers[=1|0]]\n"
    "       nova img --json FILE [--key N] [--first]\n"
    "       nova img wipe OLD NEW OUT.png --type N [--reverse] [--param0 P] [--param1 S]\n"
    "                     [--mask FILE] [--key K] [--steps N] [--depth 32|16] [--seed S]\n\n"
    "Pictures are layered files (.bri), PNG or bitmap files (.bmp, .dib), known by\n"
    "their extension or else by their content. --key is the title's image key\n"
    "(signed or unsigned decimal, or 0x hex; 0 by default).\n"
    "  tobri    one frame from a PNG or bitmap file, storage mode 0 and JPEG\n"
    "           quality 70 unless given\n"
    "  topng    frame I (0 by default), or with --all every frame as OUT's name\n"
    "           followed by _000, _001 ...; palette PNG up to 8 bits, else RGB,\n"
    "           RGBA when the frame has an alpha plane\n"
    "  resave   under key M (N by default), IN's storage mode and quality unless\n"
    "           given, layers kept unless --keep-layers=0; a non-zero key writes\n"
    "           storage mode 1, and rectangle lists are not written\n"
    "  --json   everything read from FILE as one JSON object; --first reads one\n"
    "           frame at most\n"
    "  wipe     a strip of a screen transition from OLD to NEW (nova img wipe --help;\n"
    "           docs/transitions.md)\n"
    "Outputs are written to a temporary name and renamed. See docs/pictures.md.\n";

// --- Options -----------------------------------------------------------------------

struct Options {
  std::string command;
  std::vector<std::string> files;
  std::int32_t key = 0;
  std::optional<std::int32_t> out_key;
  std::optional<int> mode;
  std::optional<int> quality;
  std::optional<int> frame;
  bool all = false;
  bool keep_layers = true;
  bool first = false;
  bool help = false;
};

// A key: signed or unsigned decimal, or 0x hex, as its 32-bit pattern.
std::int32_t parse_key(const std::string& option, const std::string& text) {
  const bool negative = !text.empty() && text[0] == '-';
  const std::string digits = negative ? text.substr(1) : text;
  const bool hex = digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X');
  char* end = nullptr;
  errno = 0;
  const unsigned long long v = std::strtoull(hex ? digits.c_str() + 2 : digits.c_str(), &end, hex ? 16 : 10);
  const bool ok = !digits.empty() && digits[0] != '-' && digits[0] != '+' && errno == 0 && end && *end == '\0' &&
                  (hex ? digits.size() > 2 : true) && (negative ? v <= 0x80000000ull : v <= 0xFFFFFFFFull);
  if (!ok) fail(option + " needs a 32-bit number (decimal, or 0x hex), not \"" + text + "\"");
  const auto bits = static_cast<std::uint32_t>(negative ? 0u - static_cast<std::uint32_t>(v) : v);
  return static_cast<std::int32_t>(bits);
}

Options parse(const std::vector<std::string>& args) {
  Options o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) fail(a + " needs a value");
      return args[++i];
    };
    if (a == "--help" || a == "-h") {
      o.help = true;
    } else if (a == "--json") {
      o.command = "json";
    } else if (a == "--key") {
      o.key = parse_key(a, value());
    } else if (a == "--out-key") {
      o.out_key = parse_key(a, value());
    } else if (a == "--mode") {
      o.mode = parse_int(a, value(), 0, 2);
    } else if (a == "--quality") {
      o.quality = parse_int(a, value(), 0, 100);
    } else if (a == "--frame") {
      o.frame = parse_int(a, value(), 0, 0x7FFFFFFF);
    } else if (a == "--all") {
      o.all = true;
    } else if (a == "--first") {
      o.first = true;
    } else if (a == "--keep-layers" || a == "--keep-layers=1") {
      o.keep_layers = true;
    } else if (a == "--keep-layers=0") {
      o.keep_layers = false;
    } else if (a.size() > 1 && a[0] == '-' && !(a.size() > 1 && a[1] >= '0' && a[1] <= '9')) {
      fail("unknown option " + a);
    } else if (o.command.empty()) {
      o.command = a;
    } else {
      o.files.push_back(a);
    }
  }
  return o;
}

// Options that belong to other commands are refused, not ignored.
void only(const Options& o, bool key, bool out_key, bool mode, bool frame, bool first) {
  if (!key && o.key != 0) fail("--key does not go with " + o.command);
  if (!out_key && o.out_key) fail("--out-key does not go with " + o.command);
  if (!mode && (o.mode || o.quality)) fail("--mode and --quality do not go with " + o.command);
  if (!frame && (o.frame || o.all)) fail("--frame and --all do not go with " + o.command);
  if (!first && o.first) fail("--first does not go with " + o.command);
}

// --- Reading and writing ---------------------------------------------------------------

std::string lower_extension(const fs::path& p) {
  std::string e = p.extension().string();
  for (char& c : e) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return e;
}

enum class Kind { Bri, Png, Bmp };

Kind kind_of(const fs::path& path, const files::TKvMemoryStream& bytes) {
  const std::string ext = lower_extension(path);
  if (ext == ".bri") return Kind::Bri;
  if (ext == ".png") return Kind::Png;
  if (ext == ".bmp" || ext == ".dib") return Kind::Bmp;
  const std::string_view head = bytes.view().substr(0, 4);
  if (head.substr(0, 2) == "BM") return Kind::Bmp;
  if (head.size() == 4 && head.substr(1) == "PNG") return Kind::Png;
  return Kind::Bri;
}

// Reads any picture into `list`; errors name the file.
Kind read_picture(const fs::path& path, TBrioFrameList& list, BrioLoad flags) {
  const std::string name = files::host::path_text(path);
  files::TKvMemoryStream bytes;
  bytes.LoadFromFile(path);
  const Kind kind = kind_of(path, bytes);
  if (kind == Kind::Bri) {
    list.LoadFromStream(bytes, flags, name);
  } else {
    list.LoadPicture(bytes.bytes(), kind == Kind::Png, name);
  }
  return kind;
}

void write_output(const fs::path& path, std::span<const std::uint8_t> bytes) {
  files::host::write_file_atomically(path, bytes);
}

void save_bri(TBrioFrameList& list, const fs::path& out, int mode, int quality) {
  files::TKvMemoryStream stream;
  list.SaveToStream(stream, mode, quality);
  write_output(out, stream.bytes());
}

void save_png(const TBrioFrame& frame, const fs::path& out, int index) {
  if (frame.surface.IsEmpty()) fail(core::format("%s: frame %d is empty; PNG cannot hold it", {out.string(), index}));
  files::MemoryBlock png;
  graphics::write_png(frame.surface, frame.transparent, png);
  write_output(out, png.bytes());
}

// --- Commands ----------------------------------------------------------------------

int run_tobri(const Options& o) {
  only(o, true, false, true, false, false);
  if (o.files.size() != 2) fail("tobri needs IN and OUT.bri");
  TBrioFrameList list(o.key);
  if (read_picture(o.files[0], list, BrioLoad::None) == Kind::Bri) {
    fail(o.files[0] + ": tobri reads PNG and bitmap files (resave writes layered files again)");
  }
  save_bri(list, o.files[1], o.mode.value_or(0), o.quality.value_or(70));
  return 0;
}

int run_topng(const Options& o) {
  only(o, true, false, false, true, false);
  if (o.files.size() != 2) fail("topng needs IN and OUT.png");
  if (o.all && o.frame) fail("--frame and --all do not go together");
  TBrioFrameList list(o.key);
  read_picture(o.files[0], list, BrioLoad::None);
  const fs::path out = o.files[1];
  if (o.all) {
    for (int i = 0; i < list.Count(); ++i) {
      fs::path each = out;
      each.replace_filename(out.stem().string() + core::format("_%03d", {i}) + out.extension().string());
      save_png(list.Frames(i), each, i);
    }
    return 0;
  }
  const int index = o.frame.value_or(0);
  if (index >= list.Count())
    fail(core::format("%s: there is no frame %d (%d frames)", {o.files[0], index, list.Count()}));
  save_png(list.Frames(index), out, index);
  return 0;
}

int run_resave(const Options& o) {
  only(o, true, true, true, false, false);
  if (o.files.size() != 2) fail("resave needs IN and OUT");
  TBrioFrameList list(o.key);
  read_picture(o.files[0], list, o.keep_layers ? BrioLoad::KeepLayers : BrioLoad::None);
  bool rects = false;
  for (int i = 0; i < list.Count(); ++i) {
    rects = rects || !list.Frames(i).content_rects.empty() || !list.Frames(i).second_rects.empty();
  }
  if (rects) {
    std::fprintf(stderr, "nova img: note: %s has rectangle lists; they are not written\n", o.files[0].c_str());
  }
  list.SetImageKey(o.out_key.value_or(o.key));
  save_bri(list, o.files[1], o.mode.value_or(list.storage_mode), o.quality.value_or(list.jpeg_quality));
  return 0;
}

// --- The inspector ---------------------------------------------------------------------

std::string hex_bytes(std::string_view s) {
  std::string out;
  for (unsigned char c : s) out += core::format("%02x", {c});
  return out;
}

// Digits of one pixel in the rows: 1 and 4 bits one, 8 bits two, 15 and 16
// bits four, 24 bits six (rrggbb), 32 bits eight (the word as stored).
int digits_of(int bits) {
  switch (bits) {
    case 1:
    case 4: return 1;
    case 8: return 2;
    case 15:
    case 16: return 4;
    case 24: return 6;
    default: return 8;
  }
}

std::string rows_of(const graphics::TCustomDIBX& s) {
  const std::string pattern = core::format("%%0%dx", {digits_of(s.GetBitCount())});
  std::string out = "[";
  for (int y = 0; y < s.GetHeight(); ++y) {
    out += y ? ", \"" : "\"";
    for (int x = 0; x < s.GetWidth(); ++x) out += core::format(pattern, {s.GetPixel(x, y)});
    out += "\"";
  }
  return out + "]";
}

std::string plane_of(const graphics::TDIBX* plane) { return plane ? rows_of(*plane) : "null"; }

std::string rect_list(const std::vector<graphics::Rect>& rects) {
  std::string out = "[";
  for (std::size_t i = 0; i < rects.size(); ++i) {
    const graphics::Rect& r = rects[i];
    out += core::format("%s[%d, %d, %d, %d]", {i ? ", " : "", r.left, r.top, r.right, r.bottom});
  }
  return out + "]";
}

std::string flag(bool b) { return b ? "true" : "false"; }

// A copy of the frame's picture and what MakeMask and Trim need, so that
// neither changes what the other sees.
void copy_frame(const TBrioFrame& from, TBrioFrame& to) {
  to.surface.ShareFrom(from.surface);
  to.transparent = from.transparent;
  to.transparent_colour = from.transparent_colour;
  to.content_rects = from.content_rects;
  to.second_rects = from.second_rects;
}

std::string screen_json(const TBrioFrame& f, int bits) {
  graphics::TDIBX s;
  s.SetSize(1, 1, bits);
  graphics::CopyFrameToSurface(f, s);
  return core::format("{\"rows\": %s, \"transparent\": %d}", {rows_of(s), s.ColorToPixel(f.transparent_colour)});
}

std::string frame_json(const TBrioFrame& f) {
  const TDIBSurface& c = f.surface;
  std::string palette = "null";
  if (c.BitCount() <= 8) {
    palette = "[";
    for (int i = 0; i < (1 << c.BitCount()); ++i) {
      const graphics::PaletteEntry& e = c.GetPalette()[static_cast<std::size_t>(i)];
      palette += core::format("%s\"%02x%02x%02x\"", {i ? ", " : "", e.red, e.green, e.blue});
    }
    palette += "]";
  }
  TBrioFrame masked(nullptr), trimmed(nullptr);
  copy_frame(f, masked);
  masked.MakeMask(false);
  copy_frame(f, trimmed);
  const graphics::Rect trim = trimmed.Trim();
  std::string out = core::format(
      "  {\"name_hex\": \"%s\", \"width\": %d, \"height\": %d, \"bitcount\": %d, \"delay\": %d,\n"
      "   \"transparent_value\": %d, \"transparent_colour\": %d, \"end_offset\": %d,\n"
      "   \"rects\": %s, \"rects2\": %s,\n",
      {hex_bytes(f.name), c.Width(), c.Height(), c.BitCount(), f.delay, f.transparent, f.transparent_colour,
       static_cast<long long>(f.end_offset), rect_list(f.content_rects), rect_list(f.second_rects)});
  out += core::format("   \"composite\": {\"palette\": %s, \"rows\": %s}, \"alpha\": %s,\n",
                      {palette, rows_of(c.Bitmap()), plane_of(c.Alpha())});
  out += core::format("   \"screens\": {\"32\": %s, \"16\": %s},\n", {screen_json(f, 32), screen_json(f, 16)});
  out += core::format("   \"mask\": %s, \"trim_rect\": [%d, %d, %d, %d],\n",
                      {plane_of(masked.surface.Alpha()), trim.left, trim.top, trim.right, trim.bottom});
  out += "   \"layers\": [";
  for (int i = 0; i < f.LayerCount(); ++i) {
    const graphics::TBrioLayer& l = f.Layers(i);
    out += core::format(
        "%s\n    {\"name_hex\": \"%s\", \"visible\": %s, \"transparent\": %d, \"stored_transparent\": %d,\n"
        "     \"opacity\": %d, \"alpha_enabled\": %s, \"bitcount\": %d, \"jpeg\": %s,\n"
        "     \"rows\": %s, \"alpha\": %s}",
        {i ? "," : "", hex_bytes(l.name), flag(l.visible), l.transparent, l.stored_transparent, l.opacity,
         flag(l.alpha_enabled), l.surface.BitCount(), flag(l.jpeg), rows_of(l.surface.Bitmap()),
         plane_of(l.surface.Alpha())});
  }
  return out + "]}";
}

int run_json(const Options& o) {
  only(o, true, false, false, false, true);
  if (o.files.size() != 1) fail("--json needs FILE");
  TBrioFrameList list(o.key);
  const BrioLoad flags = o.first ? BrioLoad::KeepLayers | BrioLoad::FirstFrameOnly : BrioLoad::KeepLayers;
  const Kind kind = read_picture(o.files[0], list, flags);
  bool uncompressed = false;
  if (kind == Kind::Bri) {
    files::TKvMemoryStream bytes;
    bytes.LoadFromFile(o.files[0]);
    uncompressed = graphics::IsUncompressedBrio(bytes);
  }
  std::string out = core::format(
      "{\"version\": %d, \"frame_count\": %d, \"background\": %u, \"opaque_bottom\": %s, \"is_uncompressed\": %s,\n"
      " \"frames\": [",
      {list.version, list.Count(), static_cast<std::uint32_t>(list.background_colour), flag(list.opaque_bottom),
       flag(uncompressed)});
  for (int i = 0; i < list.Count(); ++i) out += (i ? ",\n" : "\n") + frame_json(list.Frames(i));
  out += "]}\n";
  std::fputs(out.c_str(), stdout);
  return 0;
}

int run_img(const std::vector<std::string>& args) {
  // wipe has options of its own.
  if (!args.empty() && args[0] == "wipe") return run_img_wipe({args.begin() + 1, args.end()});
  const Options o = parse(args);
  if (o.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (o.command == "tobri") return run_tobri(o);
  if (o.command == "topng") return run_topng(o);
  if (o.command == "resave") return run_resave(o);
  if (o.command == "json") return run_json(o);
  fail(o.command.empty() ? std::string("a command is needed (tobri, topng, resave, wipe or --json; see --help)")
                         : "unknown command \"" + o.command + "\" (tobri, topng, resave, wipe or --json; see --help)");
}

NOVA_TOOL_COMMAND("img", "make, convert and inspect pictures", run_img);

}  // namespace
}  // namespace nova::tools
