// An even first byte: the rest is an "install.dat", which must either fail
// with an error or read, rewrite and read again to the same bytes. An odd
// one: the rest is a folder-disc list, rewritten the same way, and asked for
// the discs of a few names.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "core/binary_io.h"
#include "core/error.h"
#include "core/log.h"
#include "files/install_set.h"

using namespace nova;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  core::set_stderr_logging(false);
  if (size < 1) return 0;
  std::span<const std::uint8_t> rest(data + 1, size - 1);
  try {
    if (data[0] % 2 == 0) {
      files::TNovaInstallSet s = files::TNovaInstallSet::Parse(rest);
      const auto once = s.Bytes();
      if (files::TNovaInstallSet::Parse(once).Bytes() != once) std::abort();
    } else {
      core::ByteReader in(rest);
      files::TFolderDiskList list;
      list.Read(in);
      core::ByteWriter out;
      list.Write(out);
      core::ByteReader again(out.data());
      files::TFolderDiskList back;
      back.Read(again);
      for (const char* name : {"bgm\\op\\title.ogg", "a", "", "\x83\x5C\\b"}) {
        if (list.DiscOf(name) != back.DiscOf(name)) std::abort();
      }
    }
  } catch (const core::Error&) {
  }
  return 0;
}
