// `nova dump FILE`: any title file as source, a save file as a report, a
// whole title as a source tree.
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/sjis.h"
#include "files/archive.h"
#include "platform/codepage.h"
#include "script/page_file.h"
#include "script/save_file.h"
#include "tools/commands.h"
#include "tools/toolchain/page_decompiler.h"
#include "tools/toolchain/project_source.h"
#include "tools/toolchain/game_report.h"
#include "tools/toolchain/save_report.h"
#include "tools/toolchain/title.h"

namespace nova::tools {
namespace {

namespace fs = std::filesystem;

bool name_is(const fs::path& p, std::string_view name) { return core::equal_ci(p.filename().string(), name); }
bool has_extension(const fs::path& p, std::string_view ext) { return core::equal_ci(p.extension().string(), ext); }

void print_counts(const char* what, int expressions, int raw_expressions, int texts, int raw_texts) {
  std::fprintf(stderr, "nova dump: %s: %d expressions (%d kept as raw bytes), %d texts (%d kept as raw bytes)\n", what,
               expressions, raw_expressions, texts, raw_texts);
}

void output(const std::string& text, const std::string& out) {
  if (out.empty()) {
    std::fwrite(text.data(), 1, text.size(), stdout);
  } else {
    write_host_file(out, text);
  }
}

// The labels of the pages of the title folder a page lies in (the nearest
// folder above it that holds nova.npb), so that targets on them show by
// label; the page's own name is its path below that folder.
std::string page_context(const fs::path& file, TitleLabels& labels) {
  std::string own = platform::codepage::from_utf8_lossy(file.filename().string());
  std::error_code ec;
  fs::path folder = fs::absolute(file, ec).parent_path();
  for (int up = 0; up < 8 && !fs::exists(folder / "nova.npb", ec); ++up) {
    if (!folder.has_parent_path() || folder.parent_path() == folder) return own;
    folder = folder.parent_path();
  }
  if (!fs::exists(folder / "nova.npb", ec)) return own;
  for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (!it->is_regular_file(ec) || !has_extension(it->path(), ".nsb")) continue;
    auto name = title_name_of_path(it->path().lexically_relative(folder));
    if (!name) continue;
    try {
      const std::string bytes = read_host_file(it->path());
      const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
      labels.add(*name, page_labels(script::TPageFile::parse(std::span<const std::uint8_t>(data, bytes.size()))));
    } catch (const core::Error&) {
    }
    if (fs::equivalent(it->path(), file, ec)) own = *name;
  }
  return own;
}

// Whether the file holds an archive with entries (a packed title).
bool is_archive(const fs::path& file) {
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) return false;
  files::TVrFileCollection c;
  try {
    c.Open(file);
  } catch (const core::Error&) {
    return false;
  }
  return c.EntryCount() > 0;
}

int run_dump(const std::vector<std::string>& args) {
  bool exact = false, ops = false, help = false;
  std::optional<std::int32_t> slot;
  std::string out;
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--exact") {
      exact = true;
    } else if (a == "--ops") {
      ops = true;
    } else if (a == "-o" || a == "--output") {
      if (i + 1 >= args.size()) core::throw_error_utf8(a + " needs a file or folder");
      out = args[++i];
    } else if (a == "--slot") {
      if (i + 1 >= args.size()) core::throw_error_utf8("--slot needs a slot number");
      slot = script::game_slot_of(std::string(script::kGameEntryPrefix) + args[++i]);
      if (!slot) core::throw_error_utf8("--slot " + args[i] + ": not a slot number");
    } else if (a == "--help" || a == "-h") {
      help = true;
    } else if (a.size() > 1 && a[0] == '-') {
      std::fprintf(stderr, "nova dump: unknown option %s\n", a.c_str());
      return 2;
    } else {
      positional.push_back(a);
    }
  }
  if (help || positional.empty()) {
    std::printf(
        "usage: nova dump FILE [--exact] [--ops] [-o OUT]\n"
        "       nova dump save.dat --slot N [-o OUT]\n"
        "       nova dump TITLE [MORE DATA...] -o SRC [--exact] [--ops]\n\n"
        "Shows a title file as source that nova build compiles back:\n"
        "  a page (.nsb)       page source\n"
        "  nova.npb            project source\n"
        "  save.dat            its slots with their captions and its status variables;\n"
        "                      with --slot N the game of slot N: caption, after-load\n"
        "                      page, screen, component tree, events, the interpreter's\n"
        "                      position and stack, variables, tables and history counts\n"
        "                      (the title's pages are read from the folder above it\n"
        "                      that holds nova.npb)\n"
        "  a title (a folder or an archive such as game.dat)  with -o SRC: the whole\n"
        "                      source tree; the data arguments are the player's (a\n"
        "                      folder, then more folders or archives), and the title\n"
        "                      is read as the player reads it: a file in the folder\n"
        "                      shadows an archive entry of its name\n"
        "  --exact  source that builds back to identical bytes (keeping line numbers,\n"
        "           nesting levels, indexes, property sets and versions that the\n"
        "           source could not otherwise give); what has no text is kept as raw\n"
        "           bytes, and the counts are printed\n"
        "  --ops    the compiled operations of every expression, as comments\n"
        "  -o OUT   write to OUT instead of standard output\n");
    return help ? 0 : 2;
  }
  const fs::path file = positional[0];
  std::error_code ec;
  const bool single_file = has_extension(file, ".nsb") || name_is(file, "nova.npb") || name_is(file, "save.dat");
  if (positional.size() > 1 && single_file) {
    std::fprintf(stderr, "nova dump: one file at a time (more arguments are for a whole title)\n");
    return 2;
  }
  if (positional.size() > 1 || fs::is_directory(file, ec) || (!single_file && is_archive(file))) {
    if (out.empty()) core::throw_error_utf8("a title is dumped into a folder: give -o SRC");
    DumpOptions o;
    o.exact = exact;
    o.ops = ops;
    Diagnostics diagnostics;
    DumpReport report;
    const bool ok =
        dump_title(std::vector<fs::path>(positional.begin(), positional.end()), out, o, diagnostics, report);
    std::fputs(diagnostics.format().c_str(), stderr);
    if (!ok) return 1;
    std::printf("dumped %d pages and %d other files into %s\n", report.pages, report.assets, out.c_str());
    print_counts("pages", report.expressions, report.raw_expressions, report.texts, report.raw_texts);
    if (exact && (report.unverified_pages > 0 || !report.project_verified)) {
      std::fprintf(stderr, "nova dump: %d pages%s do not build back to identical bytes\n", report.unverified_pages,
                   report.project_verified ? "" : " and the project");
      return 1;
    }
    return 0;
  }
  if (!fs::is_regular_file(file, ec)) core::throw_error_utf8(file.string() + ": no such file");
  if (slot && !name_is(file, "save.dat")) {
    std::fprintf(stderr, "nova dump: --slot is for a save file\n");
    return 2;
  }
  if (name_is(file, "save.dat")) {
    output(slot ? game_report(file, *slot) : save_report(file), out);
    return 0;
  }
  const std::string bytes = read_host_file(file);
  if (name_is(file, "nova.npb")) {
    bool verified = false;
    output(dump_project(bytes, exact, &verified), out);
    if (exact && !verified) {
      std::fprintf(stderr, "nova dump: the project source does not build back to identical bytes\n");
      return 1;
    }
    return 0;
  }
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  const script::TPageFile page = script::TPageFile::parse(
      std::span<const std::uint8_t>(data, bytes.size()), platform::codepage::from_utf8_lossy(file.filename().string()));
  TitleLabels labels;
  PageDumpOptions o;
  o.exact = exact;
  o.ops = ops;
  o.page_name = page_context(file, labels);
  o.title = &labels;
  PageDumpStats stats;
  output(dump_page(page, o, stats), out);
  print_counts(file.filename().string().c_str(), stats.expressions, stats.raw_expressions, stats.texts,
               stats.raw_texts);
  if (exact && !stats.verified) {
    std::fprintf(stderr, "nova dump: the source does not build back to identical bytes\n");
    return 1;
  }
  return 0;
}

NOVA_TOOL_COMMAND("dump", "show a page, a project, a save file or a whole title as source", run_dump);

}  // namespace
}  // namespace nova::tools
