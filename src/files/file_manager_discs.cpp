// Titles on discs: asking for a disc, mounting it, and finding the title's
// data when the player starts without arguments.
#include <sys/statvfs.h>

#include <algorithm>

#include "core/error.h"
#include "core/format.h"
#include "core/frame_clock.h"
#include "core/log.h"
#include "core/sjis.h"
#include "files/file_manager.h"
#include "files/names.h"
#include "platform/codepage.h"
#include "platform/dialogs.h"

namespace nova::files {
namespace fs = std::filesystem;

namespace {

// The root's components are the first components of the path.
bool lies_below(const fs::path& path, const fs::path& root) {
  if (root.empty() || path.empty()) return false;
  auto p = path.lexically_normal();
  auto r = root.lexically_normal();
  auto pi = p.begin();
  for (auto ri = r.begin(); ri != r.end(); ++ri) {
    if (ri->empty()) continue;  // a trailing separator
    if (pi == p.end() || *pi != *ri) return false;
    ++pi;
  }
  return true;
}

bool holds_a_disc(const fs::path& root) {
  struct statvfs st {};
  return ::statvfs(root.c_str(), &st) == 0 && st.f_blocks > 0;
}

platform::MessageAnswer ask(platform::Dialogs& dialogs, std::string caption, std::string text,
                            platform::MessageButtons buttons, platform::MessageIcon icon) {
  platform::MessageBoxSpec spec;
  spec.caption = std::move(caption);
  spec.text = std::move(text);
  spec.buttons = buttons;
  spec.icon = icon;
  return dialogs.message_box(spec);
}

}  // namespace

std::optional<fs::path> TVrFileManager::disc_game(const fs::path& root, std::string_view title,
                                                  const int* disc_number) {
  auto game = m_finder.FindFile(root, "game.dat");
  auto install = m_finder.FindFile(root, "install.dat");
  if (!game || !install) return std::nullopt;
  try {
    TNovaInstallSet set = TNovaInstallSet::LoadFromFile(*install);
    if (set.title == title && (!disc_number || set.disc == *disc_number)) return game;
  } catch (const core::Error& e) {
    core::logf(core::Channel::Files, core::Level::Warning, "%s", {e.message()});
  }
  return std::nullopt;
}

void TVrFileManager::mount_disc_root(const fs::path& root, const fs::path& game) {
  Mount(game);  // -1 when it is mounted already: it is there either way
  // A disc inserted after start is looked in for loose files too.
  if (std::find(m_disc_roots.begin(), m_disc_roots.end(), root) == m_disc_roots.end()) m_disc_roots.push_back(root);
}

bool TVrFileManager::MountDisc(int n, std::string_view project_title) {
  bool any = false;
  for (const auto& root : current_cdrom_roots()) {
    if (auto game = disc_game(root, project_title, &n)) {
      mount_disc_root(root, *game);
      any = true;
    }
  }
  return any;
}

bool TVrFileManager::AskForDisc(int disc, const DiscPrompt& prompt) {
  std::vector<fs::path> roots = m_disc_roots;
  for (const auto& r : current_cdrom_roots()) {
    if (std::find(roots.begin(), roots.end(), r) == roots.end()) roots.push_back(r);
  }
  for (int i = ArchiveCount() - 1; i >= 0; --i) {
    const fs::path& file = Archive(i).FileName();
    if (std::any_of(roots.begin(), roots.end(), [&](const fs::path& r) { return lies_below(file, r); })) Unmount(i);
  }
  auto give_up = [&] {
    if (prompt.clock) prompt.clock->TerminateFlag = true;
    if (prompt.request_close) prompt.request_close();
    return false;
  };
  for (int round = 1;; ++round) {
    if (m_env.max_prompt_rounds > 0 && round > m_env.max_prompt_rounds) {
      core::logf(core::Channel::Files, core::Level::Warning, "disc %d was not inserted; giving up", {disc});
      return give_up();
    }
    auto answer = ask(m_dialogs, prompt.caption, core::format(prompt.disc_text, {disc}),
                      platform::MessageButtons::OkCancel, platform::MessageIcon::Information);
    if (answer == platform::MessageAnswer::Ok) {
      if (MountDisc(disc - 1, prompt.project_title)) return true;
      continue;
    }
    if (ask(m_dialogs, prompt.caption, prompt.quit_text, platform::MessageButtons::OkCancel,
            platform::MessageIcon::Question) == platform::MessageAnswer::Ok) {
      return give_up();
    }
  }
}

bool TVrFileManager::EnsureFile(std::string_view name, const TFolderDiskList& discs,
                                std::string_view streamed_extensions, const DiscPrompt& prompt) {
  if (Exists(name)) return true;
  if (name.empty()) return false;
  const std::int32_t disc = discs.DiscOf(name);
  if (disc <= 0) return false;
  // Streamed files (sound, music) are never asked for: the title goes on
  // without them rather than stopping for a disc.
  const std::string ext = platform::codepage::to_lower(names::extension(name)) + ".";
  const std::string streamed = platform::codepage::to_lower(streamed_extensions) + ".";
  if (streamed.find(ext) != std::string::npos) return false;
  return AskForDisc(disc, prompt);
}

std::optional<TNovaInstallSet> TVrFileManager::LocateStartupData(const DiscPrompt& prompt) {
  const fs::path exe_folder = m_env.executable.parent_path();
  if (m_base_folder.empty() && m_finder.FindFile(exe_folder, "install.dat")) SetBaseFolder(exe_folder);
  if (!Exists("install.dat")) {
    ask(m_dialogs, core::sjis("情報"), core::sjis("インストールし直してください"), platform::MessageButtons::Ok,
        platform::MessageIcon::Information);
    return std::nullopt;
  }
  auto bytes = ReadFile("install.dat");
  TNovaInstallSet set = TNovaInstallSet::Parse(bytes->bytes());

  if (auto game = m_finder.FindFile(exe_folder, "game.dat")) {
    Mount(*game);
    if (set.data_installed) return set;
  } else if (set.data_installed && std::any_of(m_archives.begin(), m_archives.end(),
                                               [](const auto& a) { return a->Container() != nullptr; })) {
    return set;
  }

  for (int round = 1;; ++round) {
    for (const auto& root : current_cdrom_roots()) {
      if (!holds_a_disc(root)) continue;
      if (auto game = disc_game(root, set.title, nullptr)) {
        mount_disc_root(root, *game);
        return set;
      }
    }
    if (m_env.max_prompt_rounds > 0 && round >= m_env.max_prompt_rounds) {
      core::log(core::Channel::Files, core::Level::Warning, "the title's disc was not found; giving up");
      return std::nullopt;
    }
    auto answer = ask(m_dialogs, core::sjis("情報"), core::sjis("ディスクを入れてください"),
                      platform::MessageButtons::OkCancel, platform::MessageIcon::Information);
    if (answer == platform::MessageAnswer::Ok) continue;
    if (ask(m_dialogs, prompt.caption, prompt.quit_text, platform::MessageButtons::OkCancel,
            platform::MessageIcon::Question) == platform::MessageAnswer::Ok) {
      return std::nullopt;
    }
  }
}

}  // namespace nova::files
