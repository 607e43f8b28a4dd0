#include "support/in_process_player.h"

#include <gtest/gtest.h>

#include "app/form_view.h"
#include "app/player_context.h"
#include "app/script_title.h"
#include "components/base_list.h"
#include "app/title_host.h"
#include "platform/headless/headless_platform.h"
#include "tools/toolchain/source_text.h"
#include "tools/toolchain/title.h"

namespace nova::test {

namespace fs = std::filesystem;

InProcessPlayer::InProcessPlayer(const std::map<std::string, std::string>& pages, InProcessOptions options) {
  for (const auto& [name, text] : pages) write_file(m_dir / "src" / name, text);
  tools::Diagnostics diagnostics;
  tools::BuildReport report;
  if (!tools::build_title(m_dir / "src", m_dir / "title", {}, diagnostics, report)) {
    ADD_FAILURE() << diagnostics.format();
    return;
  }
  platform::HeadlessOptions headless;
  headless.echo_message_boxes = false;
  if (options.read_only_title) headless.system.read_only_folders = {m_dir / "title"};
  for (const std::string& line : options.input) headless.input_script += line + "\n";
  m_platform = std::make_unique<platform::HeadlessPlatform>(headless);

  app::PlayerOptions player;
  player.headless = true;
  player.max_ticks = options.ticks;
  player.data = {(m_dir / "title").string()};
  player.trace_file = m_dir / "trace.txt";
  player.surface_setting = options.surface_setting;
  for (std::int64_t tick : options.screenshots) player.screenshots.push_back({tick, screenshot_path(tick)});
  fs::create_directories(m_dir / "player");
  m_ctx = std::make_unique<app::PlayerContext>(*m_platform, std::move(player), m_dir / "player");
  m_ctx->random_seed = options.seed;
  m_factory = app::create_title_factory();
  m_view = std::make_unique<app::TFormView>(*m_ctx, *m_factory);
  m_view->FormCreate();
  if (!m_ctx->services.components() || !m_ctx->services.components()->base_list()) {
    ADD_FAILURE() << "the player started without a component system";
    m_view.reset();
  }
}

InProcessPlayer::~InProcessPlayer() { m_view.reset(); }

components::TNovaBaseList& InProcessPlayer::bases() const { return *m_ctx->services.components()->base_list(); }

void InProcessPlayer::run() {
  if (m_view) m_view->run();
}

void InProcessPlayer::frames(int n) {
  if (!m_view) return;
  core::FrameClock& clock = m_ctx->clock;
  for (int i = 0; i < n; ++i) {
    clock.GameClockMs.store(clock.GameClockMs.load() + 15);
    clock.FrameDeltaMs.store(15);
    m_view->FrameTick();
  }
}

script::TProject* InProcessPlayer::project() const {
  auto* host = m_ctx ? dynamic_cast<app::ScriptProjectHost*>(m_ctx->services.project()) : nullptr;
  return host ? &host->project() : nullptr;
}

std::vector<std::uint32_t> InProcessPlayer::screen() const {
  std::vector<std::uint32_t> pixels;
  const graphics::TCustomDIBX* s = bases().DisplaySurface();
  if (!s) return pixels;
  for (int y = 0; y < s->GetHeight(); ++y) {
    for (int x = 0; x < s->GetWidth(); ++x) pixels.push_back(s->GetPixel(x, y));
  }
  return pixels;
}

std::string InProcessPlayer::trace() const { return read_file(m_dir / "trace.txt"); }

fs::path InProcessPlayer::screenshot_path(std::int64_t tick) const {
  return m_dir / ("shot-" + std::to_string(tick) + ".png");
}

std::string InProcessPlayer::screenshot(std::int64_t tick) const {
  const fs::path p = screenshot_path(tick);
  return fs::exists(p) ? read_file(p) : std::string();
}

fs::path InProcessPlayer::save_file() const { return m_dir / "title" / "save.dat"; }

}  // namespace nova::test
