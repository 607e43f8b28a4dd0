#include "graphics/screen_manager.h"

#include <algorithm>

#include "core/log.h"
#include "graphics/dx_dibx.h"
#include "graphics/memory_dibx.h"

namespace nova::graphics {
namespace {

// The panel of the window as a drawing context: pictures land in the
// window's back buffer at the panel's position.
class PanelDC final : public TDeviceContext {
 public:
  PanelDC(platform::Window& w, platform::Point origin) : m_window(w), m_origin(origin) {}
  void StretchPixels(const platform::PixelView& src, Rect src_rect, Rect dst_rect) override {
    m_window.draw_pixels(src, src_rect, dst_rect.translated(m_origin.x, m_origin.y));
  }
  platform::PixelView View() const override { return m_window.back_buffer(); }

 private:
  platform::Window& m_window;
  platform::Point m_origin;
};

Rect scaled(const Rect& r, int scale) {
  return Rect{r.left * scale / 100, r.top * scale / 100, r.right * scale / 100, r.bottom * scale / 100};
}

}  // namespace

TScreenManager::TScreenManager(platform::Platform& platform, platform::Window& window, int preferred_height,
                               int preferred_width, int screen_height, int screen_width, platform::Point panel,
                               TScreenOptions options)
    : m_platform(platform),
      m_window(window),
      m_screen_width(screen_width),
      m_screen_height(screen_height),
      m_preferred_width(preferred_width),
      m_preferred_height(preferred_height),
      m_panel(panel),
      m_options(options) {
  list_modes();
  SetModeIndex(-1);
}

TScreenManager::~TScreenManager() { Release(); }

void TScreenManager::list_modes() {
  const platform::DisplayMode desktop = m_platform.desktop_mode();
  m_desktop_bits = desktop.bit_count > 0 ? desktop.bit_count : 24;
  const std::vector<platform::DisplayMode> all = m_platform.display_modes();
  m_modes.clear();
  m_preferred = -1;
  auto preferred_size = [&](const platform::DisplayMode& m) {
    return m.width == m_preferred_width && m.height == m_preferred_height;
  };
  for (std::size_t i = 0; i < all.size(); ++i) {
    const platform::DisplayMode& m = all[i];
    if (m.width < m_screen_width || m.height < m_screen_height || m.bit_count <= 15) continue;
    m_modes.push_back(Listed{m, static_cast<int>(i)});
    const int index = static_cast<int>(m_modes.size()) - 1;
    if (m_preferred < 0) {
      m_preferred = index;
      continue;
    }
    // A mode of the preferred size with the desktop's bit count wins, and
    // among those the lowest refresh rate listed.
    const platform::DisplayMode& p = m_modes[static_cast<std::size_t>(m_preferred)].mode;
    if (preferred_size(m) &&
        !(preferred_size(p) &&
          (m.bit_count != m_desktop_bits || (p.bit_count == m_desktop_bits && m.refresh_rate >= p.refresh_rate)))) {
      m_preferred = index;
    }
  }
  core::logf(core::Channel::Graphics, core::Level::Debug, "screen: %d display modes, preferred %d, desktop %d bits",
             {ModeCount(), m_preferred, m_desktop_bits});
}

platform::DisplayMode TScreenManager::GetMode(int index) const {
  if (index < 0 || index >= ModeCount()) return {};
  return m_modes[static_cast<std::size_t>(index)].mode;
}

void TScreenManager::SetModeIndex(int index) {
  if (index < -1 || index >= ModeCount()) index = -1;
  if (index == m_mode_index) return;
  ReleaseDC();
  const bool was_full = m_mode_index >= 0;
  const bool to_full = index >= 0;
  if (m_mode_index == -2 || was_full != to_full) {
    m_screen.reset();
  }
  set_up(index);
}

void TScreenManager::set_up(int index) {
  m_mode_index = index;
  if (index >= 0 && set_up_full_screen(index)) return;
  if (index >= 0) {
    // The display refused the mode: back to the window.
    core::logf(core::Channel::Graphics, core::Level::Warning, "screen: full-screen mode %d refused", {index});
    m_screen.reset();
    m_mode_index = -1;
  }
  set_up_window();
}

void TScreenManager::make_screen(bool display_surface, int bits) {
  m_screen_bits = bits;
  m_gdi = !display_surface;
  if (m_screen && m_screen->GetBitCount() == bits && m_screen->GetWidth() == m_screen_width &&
      m_screen->GetHeight() == m_screen_height && (dynamic_cast<TDxDIBX*>(m_screen.get()) != nullptr) == display_surface) {
    return;
  }
  std::unique_ptr<TCustomDIBX> s;
  if (display_surface) s = std::make_unique<TDxDIBX>();
  else s = std::make_unique<TDIBX>();
  s->SetSize(std::max(m_screen_width, 1), std::max(m_screen_height, 1), bits);
  m_screen = std::move(s);
}

void TScreenManager::set_up_window() {
  if (m_window.fullscreen_mode() >= 0) m_window.set_fullscreen(-1);
  m_display_bits = m_desktop_bits;
  const bool five_five_five = m_display_bits == 15;
  if (m_options.surface_setting == 2 && (five_five_five || m_display_bits == 32)) {
    make_screen(true, five_five_five ? 15 : 32);
    return;
  }
  const int bits = m_options.surface_setting == 1 || five_five_five ? 15 : m_display_bits > 16 ? 32 : 16;
  make_screen(false, bits);
}

bool TScreenManager::set_up_full_screen(int index) {
  const Listed& listed = m_modes[static_cast<std::size_t>(index)];
  if (m_window.set_fullscreen(listed.platform_index) != listed.platform_index) return false;
  m_display_bits = listed.mode.bit_count;
  const int setting = m_options.surface_setting;
  if (m_display_bits < 16 || setting == 1) {
    make_screen(false, 15);
  } else if (m_display_bits == 16 && setting == 0) {
    make_screen(false, 16);
  } else if ((m_display_bits == 16 || m_display_bits == 32) && setting != 0) {
    make_screen(true, m_display_bits);
  } else {
    make_screen(false, 32);
  }
  return true;
}

void TScreenManager::blit(const Rect& src, const Rect& dst, std::vector<platform::Rect>& shown) {
  // A rectangle off the screen shows nothing and must not count as a frame.
  if (dst.empty() || src.intersected(Rect{0, 0, m_screen->GetWidth(), m_screen->GetHeight()}).empty()) return;
  const platform::PixelView v = m_screen->PresentView();
  if (!v.pixels) return;
  // Straight to the window rather than through the cached panel context,
  // whose origin is the one of the moment it was made.
  const Rect to = dst.translated(m_panel.x, m_panel.y);
  m_window.draw_pixels(v, src, to);
  shown.push_back(to);
}

void TScreenManager::Present(TPresentSource& source) {
  if (!m_screen) {
    source.ClearDirtyRects();
    return;
  }
  const int scale = std::max(1, source.DisplayScale());
  const Rect whole = source.WholeScreenDirtyRect();
  const Rect screen{0, 0, m_screen->GetWidth(), m_screen->GetHeight()};
  std::vector<platform::Rect> shown;
  if (m_gdi && scale % 100 != 0) {
    // A scale that is not a multiple of 100 would leave seams between
    // separately scaled rectangles, so the whole screen is stretched.
    blit(screen, scaled(screen, scale), shown);
  } else if (!whole.empty()) {
    blit(whole, scaled(whole, scale), shown);
  } else {
    for (const Rect& r : source.FrontDirtyRects()) {
      if (!r.empty()) blit(r, scaled(r, scale), shown);
    }
  }
  if (!shown.empty()) {
    m_window.present(shown);
    ++m_presented;
  }
  ReleaseDC();
  source.ClearDirtyRects();
}

TDeviceContext* TScreenManager::GetDC() {
  if (m_mode_index == -2) return nullptr;
  if (!m_dc) m_dc = std::make_unique<PanelDC>(m_window, m_panel);
  return m_dc.get();
}

void TScreenManager::ReleaseDC() { m_dc.reset(); }

void TScreenManager::Release() {
  ReleaseDC();
  m_screen.reset();
  m_mode_index = -2;
}

}  // namespace nova::graphics
