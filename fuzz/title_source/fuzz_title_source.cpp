// The title source compilers on arbitrary text: errors are reported, never
// a crash or a hang; what compiles writes a page (and a settings file) that
// the readers take back byte for byte.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/error.h"
#include "script/page_file.h"
#include "script/project_setting.h"
#include "tools/toolchain/page_compiler.h"
#include "tools/toolchain/project_source.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace nova;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  tools::TitleLabels title;
  title.add("other.nsb", {{"there", 2}});
  tools::Diagnostics d;
  tools::PageSource source = tools::PageSource::parse(text, "fuzz.nvs", "fuzz.nsb", d);
  const script::TPageFile page = source.compile(&title, d);
  if (!d.has_errors()) {
    std::vector<std::uint8_t> bytes;
    try {
      bytes = page.bytes();
    } catch (const core::Error&) {
      std::abort();  // a page without errors is one the writer can write
    }
    try {
      if (script::TPageFile::parse(bytes).bytes() != bytes) std::abort();
    } catch (const core::Error&) {
      std::abort();
    }
  }
  for (const tools::Diagnostic& e : d.items()) {
    if (e.message.empty()) std::abort();
  }
  tools::Diagnostics p;
  if (auto settings = tools::compile_project_source(text, "fuzz.nvp", p)) {
    try {
      script::TProjectSetting::Parse(
          std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(settings->data()), settings->size()));
    } catch (const core::Error&) {
      std::abort();
    }
  }
  return 0;
}
