// How a fuzz input names its container form: the first byte picks it, the
// rest is the container.
#pragma once

#include <cstdint>

namespace nova::fuzz {

enum class Form : std::uint8_t {
  File = 0,      // the archive from its first byte
  Appended = 1,  // found by the "nv" trailer
  Split = 2,     // 2 bytes L, then L bytes of ".ext" directory, then the data
  Resource = 3,  // an ELF file holding the section .nvres/BINTYPE/DUMMY
  Count = 4
};

}  // namespace nova::fuzz
