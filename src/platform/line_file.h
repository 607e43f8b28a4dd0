// A host text file written line by line as things happen (the interpreter's
// trace), so that what was written survives a crash of the writer.
#pragma once

#include <filesystem>
#include <memory>
#include <string_view>

namespace nova::platform {

class LineFile {
 public:
  // Creates (or empties) the file; nullptr with errno set when it cannot.
  static std::unique_ptr<LineFile> create(const std::filesystem::path& path);
  ~LineFile();
  LineFile(const LineFile&) = delete;
  LineFile& operator=(const LineFile&) = delete;

  // Writes the bytes and a line feed; false when the write failed.
  bool write_line(std::string_view bytes);

 private:
  explicit LineFile(int fd) : m_fd(fd) {}
  int m_fd;
};

}  // namespace nova::platform
