// The platform layer's failure. The layer sits below core and cannot use the
// system's error class; its messages are UTF-8 host text, and the layers
// above convert a PlatformError into the system's error where it matters.
#pragma once

#include <stdexcept>
#include <string>

namespace nova::platform {

class PlatformError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace nova::platform
