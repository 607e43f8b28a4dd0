#include "app/screen_media.h"

namespace nova::app {

ScreenMedia::ScreenMedia(PlayerContext& ctx, const MediaStart& start) : m_ctx(ctx) {
  if (files::TVrFileManager* files = ctx.services.files()) {
    m_media = std::make_unique<media::MediaSystem>(
        ctx.platform, *files, media::SoundSettings{ctx.settings.direct_sound, ctx.settings.delay_time},
        [&ctx](std::string_view step) { ctx.step_trace(step); });
  }
  if (start.screen_width > 0 && start.screen_height > 0 && start.window) {
    graphics::TScreenOptions options;
    options.surface_setting = ctx.options.surface_setting;
    m_manager = std::make_unique<graphics::TScreenManager>(
        ctx.platform, *start.window, start.display_option_b, start.display_option_a, start.screen_height,
        start.screen_width, platform::Point{start.panel.left, start.panel.top}, options);
  }
  if (m_media) m_media->CreateManagers();
}

ScreenMedia::~ScreenMedia() { finalize(); }

void ScreenMedia::finalize() {
  if (m_manager) {
    m_ctx.step_trace("ScreenMan.Free");
    m_manager.reset();
  }
  if (m_media) {
    m_media->MediaFinal();
    m_media.reset();
  }
}

void ScreenMedia::present() {
  if (m_manager && m_source) m_manager->Present(*m_source);
}

int ScreenMedia::frame_count() const {
  return m_manager ? static_cast<int>(m_manager->PresentedFrames() - m_counted_from) : 0;
}

void ScreenMedia::reset_frame_count() {
  if (m_manager) m_counted_from = m_manager->PresentedFrames();
}

}  // namespace nova::app
