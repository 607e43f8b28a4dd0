// The media host: the screen manager, made at the media start-up when the
// project's screen size is known, and the media system (the media library
// and the managers), to which the window's activation, the composed frames
// and the display-mode switches are forwarded. Start: novaInit, the screen
// manager, the managers; end: the screen manager, the managers, novaFinal,
// every step on the step trace. The CD audio manager gets the --cd-folder
// drives and the project's registry key; the MIDI manager answers
// "@MidiPort" and "@MidiPorts" through the variable store's router while
// it exists. The MIDI device stays open across a display switch.
#pragma once

#include <memory>

#include "app/player_context.h"
#include "app/title_host.h"
#include "graphics/screen_manager.h"
#include "media/media_system.h"
#include "media/midi_port_variables.h"

namespace nova::app {

class ScreenMedia final : public MediaHost, private ScreenHost {
 public:
  // Creates the screen manager when the screen size is positive. The
  // project's display options A and B are the preferred full-screen width
  // and height.
  ScreenMedia(PlayerContext& ctx, const MediaStart& start);
  ~ScreenMedia() override;

  // The base list's dirty rectangles and scale; nothing is presented while
  // none is set (no component system), since nothing was composed.
  void set_present_source(graphics::TPresentSource* source) { m_source = source; }
  graphics::TScreenManager* screen_manager() const { return m_manager.get(); }
  // The media managers; nullptr without a file manager, and after finalize.
  media::MediaSystem* media_system() const { return m_media.get(); }

  // MediaHost
  ScreenHost* screen() override { return m_manager ? this : nullptr; }
  void pause_all() override {
    if (m_media) m_media->PauseAll();
  }
  void resume_all() override {
    if (m_media) m_media->ResumeAll();
  }
  void frame_shown() override {
    if (m_media) m_media->FrameShown();
  }
  void set_enabled(bool enabled) override {
    if (m_media) m_media->SetEnabled(enabled);
  }
  void suspend_video() override {
    if (m_media) m_media->MediaSuspend();
  }
  void resume_video() override {
    if (m_media) m_media->MediaResume();
  }
  // Nothing to close around a display switch: the port needs no reopening
  // here, and reopening the synthesizer would reload its sound font.
  bool midi_device_open() const override { return false; }
  void pause_midi_and_close() override {}
  void reopen_midi_and_resume() override {}
  void finalize() override;

 private:
  // ScreenHost
  void present() override;
  int frame_count() const override;
  void reset_frame_count() override;
  void set_display_rate(double rate) override { m_rate = rate; }
  int preferred_mode() const override { return m_manager->PreferredModeIndex(); }
  void set_preferred_mode(int index) override { m_manager->SetPreferredModeIndex(index); }
  int mode_count() const override { return m_manager->ModeCount(); }
  std::optional<platform::DisplayMode> mode(int index) const override {
    if (index < 0 || index >= m_manager->ModeCount()) return std::nullopt;
    return m_manager->GetMode(index);
  }
  int current_mode() const override { return m_manager->ModeIndex(); }
  void select_mode(int index) override { m_manager->SetModeIndex(index); }
  void release() override { m_manager->Release(); }
  void set_panel_origin(platform::Point p) override { m_manager->SetPanelOrigin(p); }

  PlayerContext& m_ctx;
  std::unique_ptr<media::MediaSystem> m_media;
  std::unique_ptr<media::MidiPortVariables> m_midi_ports;
  std::unique_ptr<graphics::TScreenManager> m_manager;
  graphics::TPresentSource* m_source = nullptr;
  std::uint64_t m_counted_from = 0;
  double m_rate = 0;
};

}  // namespace nova::app
