#include "app/form_config.h"

#include <cerrno>
#include <system_error>

#include "app/game_ini.h"
#include "core/format.h"
#include "core/sjis.h"
#include "platform/codepage.h"
#include "platform/ini_file.h"

namespace nova::app {
namespace {

constexpr platform::Size kClient{270, 179};

}  // namespace

TFormConfig::TFormConfig(PlayerContext& ctx) : m_ctx(ctx) {}

TFormConfig::~TFormConfig() = default;

void TFormConfig::FormCreate() {
  using platform::Control;
  using platform::ControlKind;
  platform::WindowSpec spec;
  spec.caption = core::sjis("動作設定");
  spec.client_size = kClient;
  m_window = m_ctx.platform.create_window(spec);
  // Centred on the desktop.
  platform::DisplayMode desk = m_ctx.platform.desktop_mode();
  platform::Rect fe = m_window->frame_extents();
  if (desk.width > 0) {
    m_window->set_position({(desk.width - (kClient.width + fe.left + fe.right)) / 2,
                            (desk.height - (kClient.height + fe.top + fe.bottom)) / 2});
  }
  m_form = std::make_unique<platform::Form>(m_ctx.platform.fonts(), kClient);

  // Controls in tab order.
  m_check = m_form->add(
      Control{ControlKind::CheckBox, "CheckSound", core::sjis("DirectSoundを使用する(&S)"), {16, 14, 254, 34}});
  m_label =
      m_form->add(Control{ControlKind::Label, "LabelBuff", core::sjis("サウンドの遅延時間(&D)："), {16, 50, 180, 64}});
  Control info{ControlKind::Label, "LabelBuffInfo", "", {180, 50, 254, 64}};
  info.align = platform::TextAlign::Right;
  m_info = m_form->add(info);
  Control track{ControlKind::TrackBar, "TrackBuff", "", {16, 68, 254, 100}};
  track.min = 1;
  track.max = 5;
  track.page_size = 1;
  track.position = 1;
  m_track = m_form->add(track);
  m_form->control(m_label).focus_control = m_track;
  Control ok{ControlKind::Button, "btnOK", "OK", {100, 140, 175, 165}};
  ok.is_default = true;
  m_ok = m_form->add(ok);
  Control cancel{ControlKind::Button, "btnCancel", core::sjis("キャンセル"), {181, 140, 256, 165}};
  cancel.is_cancel = true;
  m_cancel = m_form->add(cancel);

  m_showing = true;
  // The player's own reading of the file, so the track bar shows the delay
  // the player would use (rounded down to 100 ms and kept within its range).
  const GameSettings settings = read_game_settings(game_ini_places(m_ctx.exe_folder, m_ctx.platform.system()).read);
  m_form->control(m_check).checked = settings.direct_sound;
  CheckSoundClick();
  m_form->control(m_track).position = settings.delay_time / 100;
  TrackBuffChange();
  redraw();
}

void TFormConfig::CheckSoundClick() {
  // The delay matters only to the software mixer, used without DirectSound.
  const bool enabled = !m_form->control(m_check).checked;
  m_form->control(m_label).enabled = enabled;
  m_form->control(m_track).enabled = enabled;
  m_form->control(m_info).enabled = enabled;
  m_form->invalidate();
}

void TFormConfig::TrackBuffChange() {
  m_form->control(m_info).caption = core::format("%dms", {m_form->control(m_track).position * 100});
  m_form->invalidate();
}

void TFormConfig::btnOKClick() {
  const GameIniPlaces places = game_ini_places(m_ctx.exe_folder, m_ctx.platform.system());
  // What the file held stays (other sections, UseWMP); it goes where the
  // player will read it.
  platform::IniFile ini(places.read);
  ini.write_bool("Sound", "DirectSound", m_form->control(m_check).checked);
  ini.write_int("Sound", "DelayTime", m_form->control(m_track).position * 100);
  std::error_code ec;
  if (places.write.parent_path() != m_ctx.exe_folder)
    std::filesystem::create_directories(places.write.parent_path(), ec);
  if (!ini.save(places.write)) {
    const int err = errno;
    // The settings are not lost silently: the dialog stays open.
    platform::MessageBoxSpec box;
    box.caption = core::sjis("動作設定");
    box.text = core::sjis("設定を保存できません") + "\r\n" +
               platform::codepage::from_utf8_lossy(places.write.string()) + "\r\n" +
               platform::codepage::from_utf8_lossy(std::generic_category().message(err));
    box.icon = platform::MessageIcon::Error;
    box.buttons = platform::MessageButtons::Ok;
    box.owner = m_window.get();
    m_ctx.platform.dialogs().message_box(box);
    return;
  }
  FormClose();
}

void TFormConfig::btnCancelClick() { FormClose(); }

void TFormConfig::FormClose() {
  m_showing = false;
  if (m_window) m_window->hide();
}

void TFormConfig::redraw() {
  if (!m_form->dirty()) return;
  const platform::Canvas& c = m_form->draw();
  platform::Rect all{0, 0, kClient.width, kClient.height};
  m_window->draw_pixels(c.view(), all, all);
  m_window->present({});
}

void TFormConfig::handle(const platform::Event& e) {
  using platform::EventType;
  if (e.window != 0 && e.window != m_window->id()) return;
  if (e.type == EventType::Close) {
    FormClose();
    return;
  }
  if (e.type == EventType::Expose) {
    m_window->present({});
    return;
  }
  for (const auto& a : m_form->handle(e)) {
    if (a.control == m_check)
      CheckSoundClick();
    else if (a.control == m_track)
      TrackBuffChange();
    else if (a.control == m_ok)
      btnOKClick();
    else if (a.control == m_cancel)
      btnCancelClick();
    if (!m_showing) return;
  }
  redraw();
}

void TFormConfig::run() {
  // The dialog's part in the platform's frame loop. Where nobody answers it
  // (scripted input only), it ends as Cancel once the script has no more
  // events or the frame limit is reached, so that it never waits for ever.
  struct Frames final : platform::FrameHooks {
    TFormConfig& dialog;
    explicit Frames(TFormConfig& d) : dialog(d) {}
    bool finished() const override { return !dialog.m_showing; }
    void handle_event(const platform::Event& e) override { dialog.handle(e); }
  } frames(*this);
  m_ctx.platform.set_scripted_input_origin({0, 0});
  platform::FrameLoopOptions options;
  options.max_frames = m_ctx.options.max_ticks;
  options.end_with_input = true;
  m_ctx.platform.run_frames(frames, options);
  if (m_showing) FormClose();
}

}  // namespace nova::app
