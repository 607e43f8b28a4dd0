// TScreenManager: the display. It lists the display modes usable for full
// screen, owns the screen surface the base list composes into, switches the
// window between windowed and full-screen modes, and presents the changed
// parts of the composed picture through the platform window.
//
// Ownership: the manager borrows the platform and the window (both outlive
// it) and owns the screen surface and the cached device context. There is
// one manager per player; the main window creates it once the project's
// screen size is known and frees it at media shut-down.
//
// Presentation: every frame goes into the window's back buffer with
// Window::draw_pixels, then Window::present shows the rectangles drawn.
// "Display" presentation stands where the exclusive display surfaces stood
// (a TDxDIBX screen surface, blitted rectangle by rectangle); "GDI"
// presentation draws a TDIBX screen surface the same way but stretches the
// whole screen when the display scale is not a multiple of 100.
//
// The surface setting (0, 1 or 2) is the player's option
// `TScreenOptions::surface_setting`; the shell takes it from its command
// line (0 when not given).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "graphics/dibx.h"
#include "platform/platform.h"

namespace nova::graphics {

// What Present reads of the base list, which implements it.
class TPresentSource {
 public:
  virtual ~TPresentSource() = default;
  // The whole-screen dirty rectangle of the base list; empty when only the
  // front base's dirty rectangles changed.
  virtual Rect WholeScreenDirtyRect() const = 0;
  // The front base's dirty rectangles, in screen coordinates.
  virtual std::vector<Rect> FrontDirtyRects() const = 0;
  // The display scale in percent (100 shows pixels 1:1).
  virtual int DisplayScale() const = 0;
  // Empties the dirty lists of both bases.
  virtual void ClearDirtyRects() = 0;
};

struct TScreenOptions {
  // 0: memory surfaces in the display's layout; 1: always 15-bit memory
  // surfaces; 2: display surfaces where the display's layout allows.
  int surface_setting = 0;
};

class TScreenManager {
 public:
  // Lists the modes and sets up the window (mode −1). The screen size is
  // also the smallest mode accepted; the preferred size is the mode looked
  // for first. `panel` is the panel's top-left corner in the window's client
  // area.
  TScreenManager(platform::Platform& platform, platform::Window& window, int preferred_height, int preferred_width,
                 int screen_height, int screen_width, platform::Point panel, TScreenOptions options = {});
  ~TScreenManager();
  TScreenManager(const TScreenManager&) = delete;
  TScreenManager& operator=(const TScreenManager&) = delete;

  // −1 the window, 0 or more full screen in that listed mode. Nothing
  // happens when the index is the current one; a full-screen mode the
  // display refuses falls back to the window. Indices outside the list
  // select the window.
  void SetModeIndex(int index);
  // −1 window, 0 or more full screen, −2 nothing set up (after Release).
  int ModeIndex() const { return m_mode_index; }
  int ModeCount() const { return static_cast<int>(m_modes.size()); }
  // The listed mode; all zero for an index outside the list.
  platform::DisplayMode GetMode(int index) const;
  // The mode full screen uses: chosen at start (−1 when none is listed),
  // and changed by SetPreferredModeIndex.
  int PreferredModeIndex() const { return m_preferred; }
  // Chooses another listed mode for full screen; an index outside the list
  // is ignored (nothing could be selected with it).
  void SetPreferredModeIndex(int index) {
    if (index >= 0 && index < ModeCount()) m_preferred = index;
  }

  // The surface the base list composes into; nullptr after Release.
  TCustomDIBX* GetScreenSurface() const { return m_screen.get(); }
  // 15, 16 or 32: the layout pictures are converted to.
  int GetScreenBitCount() const { return m_screen_bits; }
  int DesktopBitCount() const { return m_desktop_bits; }
  int DisplayBitCount() const { return m_display_bits; }
  bool FullScreenActive() const { return m_mode_index >= 0; }
  // True when the screen surface is a memory surface (whose scaled
  // presentation stretches the whole screen), false for display surfaces.
  bool UsesGdi() const { return m_gdi; }

  void SetPanelOrigin(platform::Point p) { m_panel = p; }
  platform::Point PanelOrigin() const { return m_panel; }

  // Shows the changed parts of the screen surface, counts the frame when
  // something was drawn, and empties the dirty lists.
  void Present(TPresentSource& source);
  std::uint64_t PresentedFrames() const { return m_presented; }

  // A drawing context over the panel, cached until ReleaseDC (and released
  // after every present); nullptr when nothing is set up.
  TDeviceContext* GetDC();
  void ReleaseDC();

  // Frees the screen surface and the display objects; ModeIndex() becomes
  // −2 until the next SetModeIndex.
  void Release();

 private:
  struct Listed {
    platform::DisplayMode mode;
    int platform_index = 0;
  };
  void list_modes();
  void set_up(int index);
  void set_up_window();
  bool set_up_full_screen(int index);
  void make_screen(bool display_surface, int bits);
  // Draws `src` of the screen surface onto `dst` (client coordinates) and
  // remembers what to present.
  void blit(const Rect& src, const Rect& dst, std::vector<platform::Rect>& shown);

  platform::Platform& m_platform;
  platform::Window& m_window;
  int m_screen_width;
  int m_screen_height;
  int m_preferred_width;
  int m_preferred_height;
  platform::Point m_panel;
  TScreenOptions m_options;

  std::vector<Listed> m_modes;
  int m_preferred = -1;
  int m_mode_index = -2;
  int m_desktop_bits = 24;
  int m_display_bits = 0;
  int m_screen_bits = 16;
  bool m_gdi = true;
  std::unique_ptr<TCustomDIBX> m_screen;
  std::unique_ptr<TDeviceContext> m_dc;
  std::uint64_t m_presented = 0;
};

}  // namespace nova::graphics
