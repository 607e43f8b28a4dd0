// Helpers shared by the tests.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace nova::test {

// The Shift-JIS bytes of a UTF-8 literal: test sources are UTF-8, the engine
// speaks Shift-JIS. Fails the test (and returns "") when the text has no
// Shift-JIS form.
std::string sjis(std::string_view utf8);

// The UTF-8 form of Shift-JIS bytes, for readable failure messages.
std::string utf8(std::string_view sjis_bytes);

// A fresh folder under the temporary folder, removed with everything in it
// when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return m_path; }
  std::filesystem::path operator/(std::string_view name) const { return m_path / name; }

 private:
  std::filesystem::path m_path;
};

std::string read_file(const std::filesystem::path& p);
void write_file(const std::filesystem::path& p, std::string_view bytes);

// Where the build put its programs (novaplayer, nova) and the source tree.
std::filesystem::path binary_dir();
std::filesystem::path source_dir();

// Runs a command line through /bin/sh; returns its exit status, and its
// standard output in `out` when given.
int run_command(const std::string& command, std::string* out = nullptr);

// Waits until `pred` holds, asking again every 25 ms; false when it still
// does not after `limit`. For what another process or the X server does in
// its own time: the limit is far beyond what any machine needs, so a test
// waits only as long as its machine takes.
template <typename Pred>
bool eventually(Pred pred, std::chrono::milliseconds limit = std::chrono::seconds(60)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!pred()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  return true;
}

}  // namespace nova::test
