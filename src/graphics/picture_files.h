// PictureFiles: where transitions (and later the picture cache) find the
// title's picture files by name, without knowing about the file manager.
//
// The player implements it over its virtual file manager; tests and tools
// give their own. Names are Shift-JIS, compared as the implementation
// compares them (the file manager: without regard to case).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace nova::graphics {

class PictureFiles {
 public:
  virtual ~PictureFiles() = default;
  // Whether a file of that name can be read.
  virtual bool exists(const std::string& name) const = 0;
  // The whole file; raises core::Error when it cannot be read.
  virtual std::vector<std::uint8_t> read_all(const std::string& name) const = 0;
};

}  // namespace nova::graphics
