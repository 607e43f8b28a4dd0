// Writing a whole buffer to a file descriptor, through short writes and
// interruptions: the one loop the file writers share.
#pragma once

#include <cstdint>
#include <span>

namespace nova::platform {

// False, with errno set by the failed write, when not everything was written.
bool write_all(int fd, std::span<const std::uint8_t> bytes);

}  // namespace nova::platform
