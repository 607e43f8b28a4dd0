#include "support/test_support.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/codepage.h"
#include "platform/system.h"

namespace nova::test {

std::string sjis(std::string_view utf8_text) {
  auto s = platform::codepage::from_utf8(utf8_text);
  if (!s) {
    ADD_FAILURE() << "no Shift-JIS form: " << utf8_text;
    return {};
  }
  return *s;
}

std::string utf8(std::string_view sjis_bytes) { return platform::codepage::to_utf8(sjis_bytes); }

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "nova-test-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  m_path = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(m_path, ec);
}

std::string read_file(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void write_file(const std::filesystem::path& p, std::string_view bytes) {
  std::filesystem::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::filesystem::path binary_dir() {
#ifdef NOVA_BINARY_DIR
  return NOVA_BINARY_DIR;
#else
  return ".";
#endif
}

std::filesystem::path source_dir() {
#ifdef NOVA_SOURCE_DIR
  return NOVA_SOURCE_DIR;
#else
  return ".";
#endif
}

int run_command(const std::string& command, std::string* out) {
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return -1;
  std::string text;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
  int status = pclose(pipe);
  if (out) *out = std::move(text);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace nova::test
