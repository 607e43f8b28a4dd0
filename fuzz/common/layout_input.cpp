#include "layout_input.h"

#include <algorithm>

#include "core/binary_io.h"
#include "core/error.h"
#include "support/test_font_service.h"
#include "text/font_pixel_manager.h"

namespace nova::fuzz {

std::optional<LayoutInput> read_layout_input(std::span<const std::uint8_t> data) {
  core::ByteReader r(data);
  // A throw-away engine reads the record as the player does.
  test::TestFontService fonts;
  text::TFontPixelManager manager(fonts);
  text::TKvWord word(manager);
  try {
    word.load_settings(r, text::TKvWord::kSettingsVersion);
  } catch (const core::Error&) {
    return std::nullopt;
  }
  LayoutInput in;
  in.settings = word.settings();
  auto until_zero = [&] {
    std::string s;
    while (!r.at_end()) {
      const char c = static_cast<char>(r.u8());
      if (c == '\0') break;
      s.push_back(c);
    }
    return s;
  };
  in.text = until_zero();
  const std::string names = until_zero();
  for (std::size_t at = 0; at < names.size();) {
    std::size_t end = names.find('\n', at);
    if (end == std::string::npos) end = names.size();
    const std::string line = names.substr(at, end - at);
    if (const std::size_t eq = line.find('='); eq != std::string::npos) {
      in.names.emplace_back(line.substr(0, eq), line.substr(eq + 1));
    }
    at = end + 1;
  }
  while (r.remaining() >= 2) in.tail.push_back(r.u16());
  return in;
}

std::vector<std::uint8_t> write_layout_input(const LayoutInput& input) {
  test::TestFontService fonts;
  text::TFontPixelManager manager(fonts);
  text::TKvWord word(manager);
  word.set_settings(input.settings);
  core::ByteWriter w;
  word.save_settings(w);
  w.bytes(input.text);
  w.u8(0);
  for (const auto& [name, value] : input.names) w.bytes(name + "=" + value + "\n");
  w.u8(0);
  for (std::uint16_t v : input.tail) w.u16(v);
  return w.take();
}

text::KvWordSettings within_caps(text::KvWordSettings s) {
  s.width = std::clamp(s.width, -1, 1024);
  if (s.width < 0) s.width = 0;
  s.height = std::clamp(s.height, 0, 1024);
  s.font_size = std::clamp(s.font_size, -96, 96);
  s.view_x = std::clamp(s.view_x, -4096, 4096);
  s.view_y = std::clamp(s.view_y, -4096, 4096);
  s.line_spacing = std::clamp(s.line_spacing, -64, 64);
  return s;
}

}  // namespace nova::fuzz
