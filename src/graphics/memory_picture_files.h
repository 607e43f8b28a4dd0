// MemoryPictureFiles: picture files held in memory by name (without regard
// to case), for tools, tests, fuzzers and benchmarks that give the picture
// cache files of their own.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/sjis.h"
#include "graphics/picture_files.h"

namespace nova::graphics {

class MemoryPictureFiles final : public PictureFiles {
 public:
  void put(const std::string& name, std::string bytes) { m_files[core::upper(name)] = std::move(bytes); }
  void remove(const std::string& name) { m_files.erase(core::upper(name)); }
  bool exists(const std::string& name) const override { return m_files.count(core::upper(name)) != 0; }
  std::vector<std::uint8_t> read_all(const std::string& name) const override {
    const auto it = m_files.find(core::upper(name));
    if (it == m_files.end()) throw core::Error(name + ": no such picture file");
    ++m_reads;
    return {it->second.begin(), it->second.end()};
  }
  // How many files were read whole.
  int reads() const { return m_reads; }

 private:
  std::map<std::string, std::string> m_files;
  mutable int m_reads = 0;
};

}  // namespace nova::graphics
