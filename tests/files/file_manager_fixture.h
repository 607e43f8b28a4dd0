// A file manager on a temporary folder, with message boxes answered by the
// test.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "files/archive.h"
#include "files/file_manager.h"
#include "platform/dialogs.h"
#include "support/test_support.h"

namespace nova::files::testing {

// Answers message boxes through a function and records them.
class ScriptedDialogs final : public platform::Dialogs {
 public:
  std::function<platform::MessageAnswer(const platform::MessageBoxSpec&)> answer;
  std::vector<platform::MessageBoxSpec> boxes;

  platform::MessageAnswer message_box(const platform::MessageBoxSpec& spec) override {
    boxes.push_back(spec);
    return answer ? answer(spec) : platform::MessageAnswer::Cancel;
  }
  std::optional<std::filesystem::path> open_file(const platform::FileDialogSpec&) override { return std::nullopt; }
  std::optional<std::filesystem::path> save_file(const platform::FileDialogSpec&) override { return std::nullopt; }
  std::optional<std::filesystem::path> select_folder(const platform::FileDialogSpec&) override { return std::nullopt; }
};

struct Entry {
  std::string name;
  std::string data;
};

// Writes an archive with our writer: names below the limit are compressed,
// media names stored.
inline void write_archive(const std::filesystem::path& path, const std::vector<Entry>& entries) {
  TVrFileCollection c;
  for (const auto& e : entries) c.AddMemoryFile(e.name, as_bytes(e.data));
  TKvBigFileStream out(path, file_mode::kCreate);
  c.Write(out);
}

class ManagerTest {
 public:
  ManagerTest() {
    std::filesystem::create_directories(root / "tmp");
    std::filesystem::create_directories(root / "player");
  }
  std::unique_ptr<TVrFileManager> make(std::vector<std::filesystem::path> discs = {}) {
    FileManagerEnvironment env;
    env.disc_roots = discs;
    env.current_cdrom_roots = [this] { return cdrom_roots; };
    env.temp_folder = root / "tmp";
    env.executable = root / "player" / "novaplayer";
    env.max_prompt_rounds = max_rounds;
    cdrom_roots = std::move(discs);
    return std::make_unique<TVrFileManager>(dialogs, std::move(env));
  }

  test::TempDir dir;
  std::filesystem::path root = dir.path();
  ScriptedDialogs dialogs;
  std::vector<std::filesystem::path> cdrom_roots;
  int max_rounds = 20;
};

inline std::string read_text(TVrFileManager& m, std::string_view name) { return std::string(m.ReadFile(name)->view()); }

}  // namespace nova::files::testing
