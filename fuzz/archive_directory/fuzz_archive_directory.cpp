// Reads a directory in the form the first byte picks; then looks every entry
// up, checks it (reading and inflating, within a small limit) and, for small
// archives, writes the collection again and reads the result back.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <span>

#include "core/error.h"
#include "core/log.h"
#include "files/archive.h"
#include "files/resource.h"
#include "fuzz_input.h"

using namespace nova;
using files::TKvBigMemoryStream;

namespace {

files::ArchiveOptions limited() {
  files::ArchiveOptions o;
  o.max_inflated_size = 1 << 22;
  return o;
}

void exercise(files::TVrFileCollection& c) {
  std::int64_t stored = 0;
  for (int i = 0; i < c.Count(); ++i) {
    const files::TVrFile& f = c.At(i);
    if (c.IndexOf(f.Name()) < 0) std::abort();  // every name must be found
    stored += f.length;
    if (i < 64) (void)c.CheckEntry(f);
  }
  if (stored > (1 << 20) || c.Count() > 2000) return;
  TKvBigMemoryStream out;
  try {
    if (!c.Write(out)) std::abort();
  } catch (const core::Error&) {
    return;  // an entry that does not inflate cannot be rewritten
  }
  files::TVrFileCollection again(limited());
  again.OpenStream(std::make_unique<TKvBigMemoryStream>(out.bytes()));
  if (again.EntryCount() != c.EntryCount()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  core::set_stderr_logging(false);
  if (size < 1) return 0;
  const auto form = static_cast<fuzz::Form>(data[0] % static_cast<std::uint8_t>(fuzz::Form::Count));
  std::span<const std::uint8_t> rest(data + 1, size - 1);
  files::TVrFileCollection c(limited());
  try {
    switch (form) {
      case fuzz::Form::File: c.OpenStream(std::make_unique<TKvBigMemoryStream>(rest)); break;
      case fuzz::Form::Appended:
        c.OpenStream(std::make_unique<TKvBigMemoryStream>(rest), files::ArchiveForm::Appended);
        break;
      case fuzz::Form::Split: {
        if (rest.size() < 2) return 0;
        std::size_t n = std::min<std::size_t>(rest[0] | rest[1] << 8, rest.size() - 2);
        c.OpenSplit(std::make_unique<TKvBigMemoryStream>(rest.subspan(2, n)),
                    std::make_unique<TKvBigMemoryStream>(rest.subspan(2 + n)));
        break;
      }
      case fuzz::Form::Resource: {
        auto file = std::make_unique<TKvBigMemoryStream>(rest);
        auto range = files::find_elf_section(*file, files::resource_section_name("DUMMY", "BINTYPE"));
        if (!range) return 0;
        c.OpenStream(std::make_unique<files::TKvBigWindowStream>(std::move(file), range->offset, range->size));
        break;
      }
      case fuzz::Form::Count: return 0;
    }
  } catch (const core::Error&) {
    if (c.Count() != 0) std::abort();  // a failed directory leaves nothing behind
    return 0;
  }
  exercise(c);
  return 0;
}
