// TFormConfig: the sound settings dialog ("/config"), which writes
// "game.ini" where the player reads it (game_ini.h).
#pragma once

#include <memory>

#include "app/player_context.h"
#include "platform/widgets.h"
#include "platform/window.h"

namespace nova::app {

class TFormConfig {
 public:
  explicit TFormConfig(PlayerContext& ctx);
  ~TFormConfig();

  void FormCreate();
  void CheckSoundClick();
  void TrackBuffChange();
  void btnOKClick();
  void btnCancelClick();
  void FormClose();

  // Dispatches events until the dialog closes. Headless: every step of the
  // loop is a tick of the scripted input; the dialog closes as Cancel when
  // the script has nothing more for it or --max-ticks steps have passed.
  void run();

  bool Showing() const { return m_showing; }
  platform::Window* window() const { return m_window.get(); }
  platform::Form& form() { return *m_form; }
  int CheckSound() const { return m_check; }
  int TrackBuff() const { return m_track; }
  int LabelBuffInfo() const { return m_info; }
  int LabelBuff() const { return m_label; }

 private:
  void handle(const platform::Event& e);
  void redraw();

  PlayerContext& m_ctx;
  std::unique_ptr<platform::Window> m_window;
  std::unique_ptr<platform::Form> m_form;
  bool m_showing = false;
  int m_check = -1, m_label = -1, m_info = -1, m_track = -1, m_ok = -1, m_cancel = -1;
};

}  // namespace nova::app
