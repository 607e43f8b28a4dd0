#include "app/entry.h"

#include "app/form_config.h"
#include "app/form_view.h"
#include "app/lock_name.h"
#include "core/log.h"
#include "platform/system.h"

namespace nova::app {
namespace {

bool is_config_argument(const std::string& a) {
  if (a.size() != 7) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char c = a[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (c != "/config"[i]) return false;
  }
  return true;
}

}  // namespace

int run_entry(PlayerContext& ctx, TitleFactory& factory, const std::filesystem::path& exe_path) {
  // A player started from the disc itself ends at once, without a word.
  const platform::System& system = ctx.platform.system();
  if (system.drive_type(exe_path) == platform::DriveType::CdRom) {
    core::log(core::Channel::App, core::Level::Info, "started from a CD-ROM: ending");
    return 0;
  }
  std::string source = ctx.options.data.empty() ? ctx.exe_folder.string() + "/" : ctx.options.data.front();
  auto lock = platform::InstanceLock::acquire(instance_lock_name(source), system.runtime_folder());
  if (!lock) {
    core::log(core::Channel::App, core::Level::Info, "another player runs on this title: ending");
    return 0;
  }
  if (!ctx.options.data.empty() && is_config_argument(ctx.options.data.front())) {
    TFormConfig dialog(ctx);
    dialog.FormCreate();
    dialog.run();
    return 0;
  }
  TFormView view(ctx, factory);
  view.FormCreate();
  if (!ctx.clock.TerminateFlag.load()) view.run();
  view.FormClose();
  return ctx.exit_status;
}

}  // namespace nova::app
