// Writing seed corpora: what every seed generator does around its samples.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace nova::fuzz {

// The corpus folder named by the only argument, created; empty (after a
// usage line) when the arguments are wrong.
inline std::filesystem::path seed_folder(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s CORPUS_FOLDER\n", argc > 0 ? argv[0] : "seedgen");
    return {};
  }
  std::filesystem::path folder = argv[1];
  std::filesystem::create_directories(folder);
  return folder;
}

// Seed number n of the folder.
inline void write_seed(const std::filesystem::path& dir, int n, std::string_view bytes) {
  std::filesystem::create_directories(dir);
  std::FILE* f = std::fopen((dir / ("seed" + std::to_string(n))).c_str(), "wb");
  if (!f) return;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

inline void write_seed(const std::filesystem::path& dir, int n, const std::vector<std::uint8_t>& bytes) {
  write_seed(dir, n, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// A named seed of a target whose first byte selects what the rest is.
inline void write_seed(const std::filesystem::path& dir, const std::string& name, char selector,
                       std::string_view body) {
  std::filesystem::create_directories(dir);
  std::FILE* f = std::fopen((dir / name).c_str(), "wb");
  if (!f) return;
  std::fputc(static_cast<unsigned char>(selector), f);
  std::fwrite(body.data(), 1, body.size(), f);
  std::fclose(f);
}

inline void write_seed(const std::filesystem::path& dir, const std::string& name, char selector,
                       const std::vector<std::uint8_t>& body) {
  write_seed(dir, name, selector, std::string_view(reinterpret_cast<const char*>(body.data()), body.size()));
}

}  // namespace nova::fuzz
