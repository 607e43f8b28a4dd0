#include "text/glyph_stream.h"

#include <algorithm>
#include <string_view>
#include <type_traits>
#include <variant>

#include "core/error.h"
#include "core/format.h"
#include "expr/build_parser.h"
#include "expr/nova_parser.h"

namespace nova::text {

namespace {

constexpr std::string_view kMagic = "KvWord";
constexpr std::size_t kHeaderSize = 9;

// Versions that introduced fields of the variable glyphs.
constexpr int kVarWaitVersion = 101;  // wait and link
constexpr int kVarNameVersion = 102;  // the name instead of a compiled expression

constexpr std::uint8_t kEndEventMark = 1;

StreamVersion read_header(core::ByteReader& r) {
  const auto rest = r.data().subspan(r.position());
  const std::string_view head(reinterpret_cast<const char*>(rest.data()), std::min(rest.size(), kHeaderSize));
  if (!head.starts_with(kMagic)) return StreamVersion::headerless();
  if (head.size() < kHeaderSize) r.fail("truncated header");
  int number = 0;
  for (char c : head.substr(kMagic.size())) {
    if (c < '0' || c > '9') r.fail("bad version digits");
    number = number * 10 + (c - '0');
  }
  r.skip(kHeaderSize);
  return {number, true};
}

void read_variable(core::ByteReader& r, int version, TWdOpeVar& v) {
  v.decoration = r.i32();
  if (version >= kVarWaitVersion) {
    v.wait = r.i32();
    v.link = r.str();
  }
  if (version >= kVarNameVersion) {
    v.name = r.str();
    return;
  }
  // The compiled form is loaded only to find where it ends; its bytes are
  // what the variable keeps.
  const std::size_t start = r.position();
  expr::TNovaParser parser;
  parser.load(r);
  const auto bytes = r.data().subspan(start, r.position() - start);
  v.compiled.emplace(bytes.begin(), bytes.end());
}

TWdGlyph read_glyph(core::ByteReader& r, int version) {
  const std::uint8_t type = r.u8() & 0x7F;
  switch (type) {
    case kStreamChar: {
      TWdChar c;
      c.link = r.str();
      c.wait = r.i32();
      c.code = r.u16();
      c.decoration = r.i32();
      return c;
    }
    case kStreamAlign: return TWdOpeAlign{static_cast<Align>(r.u8())};
    case kStreamReturn: return TWdOpeReturn{r.boolean()};
    case kStreamIndent: return TWdOpeIndent{};
    case kStreamUndent: return TWdOpeUndent{};
    case kStreamEvent: {
      TWdOpeEvent e;
      e.text = r.str();
      if (!e.text.empty() && static_cast<std::uint8_t>(e.text.front()) == kEndEventMark) {
        e.end = true;
        e.text.erase(0, 1);
      }
      return e;
    }
    case kStreamVar: {
      TWdOpeVar v;
      read_variable(r, version, v);
      return v;
    }
    case kStreamImg: {
      TWdImg img;
      img.link = r.str();
      img.wait = r.i32();
      img.source = r.str();
      img.align = static_cast<Align>(r.u8());
      return img;
    }
    case kStreamHistChar: {
      TWdOpeHistChar h;
      read_variable(r, version, h);
      return h;
    }
    default: r.fail(core::format("unknown glyph type %d", {static_cast<int>(type)}));
  }
}

void write_variable(core::ByteWriter& w, int version, const TWdOpeVar& v) {
  w.i32(v.decoration);
  if (version >= kVarWaitVersion) {
    w.i32(v.wait);
    w.str(v.link);
  }
  if (version >= kVarNameVersion) {
    w.str(v.name);
  } else if (v.compiled) {
    w.bytes(std::span<const std::uint8_t>(*v.compiled));
  } else {
    // Old streams hold the compiled form of the name; the compiler's own
    // errors (a name that is no expression) stop the write.
    expr::TBuildNovaParser compiler;
    compiler.compile(v.name);
    compiler.write(w);
  }
}

void check_writable(const ParsedText& text, StreamVersion version) {
  if (version.number < 0 || version.number > 999 || (!version.header && version.number != 0)) {
    core::throw_error(core::format("glyph stream: version %d cannot be written", {version.number}));
  }
  if (version.number < kVarNameVersion) return;
  for (const TWdGlyph& g : text.glyphs()) {
    const TWdOpeVar* v = std::get_if<TWdOpeVar>(&g);
    if (!v) v = std::get_if<TWdOpeHistChar>(&g);
    if (v && v->compiled) {
      core::throw_error(
          core::format("glyph stream: a variable read from a version %d stream has no name to write in version %d",
                       {text.version().number, version.number}));
    }
  }
}

}  // namespace

ParsedText read_glyph_stream(core::ByteReader& r) {
  const StreamVersion version = read_header(r);
  TDecorateList decorations;
  decorations.load(r, version.number);
  const std::int32_t count = r.i32();
  if (count < 0 || static_cast<std::size_t>(count) > r.remaining()) r.fail("glyph count out of range");
  std::vector<TWdGlyph> glyphs;
  glyphs.reserve(static_cast<std::size_t>(count));
  for (std::int32_t i = 0; i < count; ++i) glyphs.push_back(read_glyph(r, version.number));
  return ParsedText::from_stored(std::move(decorations), std::move(glyphs), version);
}

ParsedText read_glyph_stream(std::span<const std::uint8_t> bytes) {
  core::ByteReader r(bytes);
  r.set_context("glyph stream");
  return read_glyph_stream(r);
}

std::vector<std::uint8_t> write_glyph_stream(const ParsedText& text, StreamVersion version) {
  check_writable(text, version);
  core::ByteWriter w;
  const int v = version.number;
  if (version.header) w.bytes(core::format("KvWord%.3d", {v}));
  text.decorations().save(w, v);
  std::int32_t stored = 0;
  for (const TWdGlyph& g : text.glyphs()) stored += is_produced(g) ? 0 : 1;
  w.i32(stored);
  for (const TWdGlyph& g : text.glyphs()) {
    const auto type = stream_type(g);
    if (!type) continue;
    w.u8(*type);
    std::visit(
        [&](const auto& glyph) {
          using G = std::decay_t<decltype(glyph)>;
          if constexpr (std::is_same_v<G, TWdChar>) {
            w.str(glyph.link);
            w.i32(glyph.wait);
            w.u16(glyph.code);
            w.i32(glyph.decoration);
          } else if constexpr (std::is_same_v<G, TWdOpeAlign>) {
            w.u8(static_cast<std::uint8_t>(glyph.align));
          } else if constexpr (std::is_same_v<G, TWdOpeReturn>) {
            w.boolean(glyph.clear);
          } else if constexpr (std::is_same_v<G, TWdOpeEvent>) {
            if (glyph.end) {
              w.i32(static_cast<std::int32_t>(glyph.text.size() + 1));
              w.u8(kEndEventMark);
              w.bytes(glyph.text);
            } else {
              w.str(glyph.text);
            }
          } else if constexpr (std::is_same_v<G, TWdOpeVar> || std::is_same_v<G, TWdOpeHistChar>) {
            write_variable(w, v, glyph);
          } else if constexpr (std::is_same_v<G, TWdImg>) {
            w.str(glyph.link);
            w.i32(glyph.wait);
            w.str(glyph.source);
            w.u8(static_cast<std::uint8_t>(glyph.align));
          }
        },
        g);
  }
  return w.take();
}

void write_glyph_stream(core::ByteWriter& out, const ParsedText& text, StreamVersion version) {
  // Made whole before any of it is appended, so that an error part way
  // leaves `out` as it was.
  out.bytes(std::span<const std::uint8_t>(write_glyph_stream(text, version)));
}

std::vector<std::uint8_t> write_glyph_stream(const ParsedText& text) {
  return write_glyph_stream(text, text.version());
}

}  // namespace nova::text
