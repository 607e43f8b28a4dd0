#include "script/project_setting.h"

#include "core/error.h"
#include "core/format.h"
#include "expr/types.h"

namespace nova::script {
namespace {

// The smallest initial variable: a type byte and an empty name.
constexpr std::size_t kMinVariableBytes = 1 + 4;

void check_absent(bool stored, bool is_default, std::string_view field, std::int32_t version) {
  if (!stored && !is_default) {
    core::throw_error(core::format("nova.npb: %s is not stored by version %d", {field, version}));
  }
}

}  // namespace

TProjectSetting TProjectSetting::Parse(std::span<const std::uint8_t> bytes) {
  core::ByteReader r(bytes);
  r.set_context("nova.npb");
  TProjectSetting s;
  s.version = r.i32();
  if (s.version > kNewestSettingsVersion) core::throw_error_utf8("このバージョンには対応していません");
  s.title = r.str();
  s.screen_width = r.i32();
  s.screen_height = r.i32();
  s.display_option_a = r.i32();
  s.display_option_b = r.i32();
  s.start_page = r.str();
  if (has_exit_page(s.version)) s.exit_page = r.str();
  s.registry_key = r.str();
  s.image_key = r.i32();
  if (has_keep_status(s.version)) s.keep_status = r.u8();
  if (has_idle_option(s.version)) s.idle_option = r.u8();
  if (has_streamed_extensions(s.version)) s.streamed_extensions = r.str();
  if (has_pause_when_inactive(s.version)) s.pause_when_inactive = r.u8();
  if (has_reserved(s.version)) s.reserved = r.u8();
  s.disc_text = r.str();
  s.quit_text = r.str();
  const std::int32_t n = r.i32();
  if (n < 0 || static_cast<std::size_t>(n) > r.remaining() / kMinVariableBytes) {
    r.fail("initial variable count out of range");
  }
  s.initial_variables.reserve(static_cast<std::size_t>(n));
  for (std::int32_t i = 0; i < n; ++i) {
    TInitialVariable v;
    v.type = r.u8();
    v.name = r.str();
    switch (v.type) {
      case expr::PT_INT: v.int_value = r.i32(); break;
      case expr::PT_FLOAT: v.float_value = r.f80(); break;
      case expr::PT_BOOL: v.flag_value = r.u8() != 0; break;
      case expr::PT_STR: v.string_value = r.str(); break;
      default: break;
    }
    s.initial_variables.push_back(std::move(v));
  }
  s.folders.Read(r);
  return s;
}

void TProjectSetting::Write(core::ByteWriter& w) const {
  if (version > kNewestSettingsVersion) core::throw_error_utf8("このバージョンには対応していません");
  const TProjectSetting defaults;
  check_absent(has_exit_page(version), exit_page.empty(), "the exit page", version);
  check_absent(has_keep_status(version), keep_status == 0, "keep status", version);
  check_absent(has_idle_option(version), idle_option == 0, "the idle option", version);
  check_absent(has_streamed_extensions(version), streamed_extensions == defaults.streamed_extensions,
               "the streamed extensions", version);
  check_absent(has_pause_when_inactive(version), pause_when_inactive == 0, "pause when inactive", version);
  check_absent(has_reserved(version), reserved == 0, "the reserved byte", version);
  w.i32(version);
  w.str(title);
  w.i32(screen_width);
  w.i32(screen_height);
  w.i32(display_option_a);
  w.i32(display_option_b);
  w.str(start_page);
  if (has_exit_page(version)) w.str(exit_page);
  w.str(registry_key);
  w.i32(image_key);
  if (has_keep_status(version)) w.u8(keep_status);
  if (has_idle_option(version)) w.u8(idle_option);
  if (has_streamed_extensions(version)) w.str(streamed_extensions);
  if (has_pause_when_inactive(version)) w.u8(pause_when_inactive);
  if (has_reserved(version)) w.u8(reserved);
  w.str(disc_text);
  w.str(quit_text);
  w.i32(static_cast<std::int32_t>(initial_variables.size()));
  for (const TInitialVariable& v : initial_variables) {
    w.u8(v.type);
    w.str(v.name);
    switch (v.type) {
      case expr::PT_INT: w.i32(v.int_value); break;
      case expr::PT_FLOAT: w.f80(v.float_value); break;
      case expr::PT_BOOL: w.u8(v.flag_value ? 1 : 0); break;
      case expr::PT_STR: w.str(v.string_value); break;
      default: break;
    }
  }
  folders.Write(w);
}

std::vector<std::uint8_t> TProjectSetting::Bytes() const {
  core::ByteWriter w;
  Write(w);
  return w.take();
}

}  // namespace nova::script
