#include "platform/line_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/fd_io.h"

namespace nova::platform {

std::unique_ptr<LineFile> LineFile::create(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return nullptr;
  return std::unique_ptr<LineFile>(new LineFile(fd));
}

LineFile::~LineFile() { ::close(m_fd); }

bool LineFile::write_line(std::string_view bytes) {
  // One write per line, so lines from a run cut short are never torn apart
  // in the middle by buffering.
  std::string line;
  line.reserve(bytes.size() + 1);
  line.append(bytes);
  line.push_back('\n');
  return write_all(m_fd,
                   std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(line.data()), line.size()));
}

}  // namespace nova::platform
