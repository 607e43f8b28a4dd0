#include "tools/toolchain/title.h"

#include <algorithm>
#include <map>

#include "core/error.h"
#include "core/format.h"
#include "core/sjis.h"
#include "files/archive.h"
#include "files/big_stream.h"
#include "files/file_manager.h"
#include "files/host_lookup.h"
#include "files/names.h"
#include "files/title_mount.h"
#include "graphics/brios.h"
#include "platform/codepage.h"
#include "platform/dialogs.h"
#include "script/page_file.h"
#include "script/save_file.h"
#include "tools/toolchain/page_compiler.h"
#include "tools/toolchain/page_decompiler.h"
#include "tools/toolchain/project_source.h"

namespace nova::tools {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kSettingsName = "nova.npb";
constexpr std::string_view kArchiveName = "game.dat";

bool ends_with_ci(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && core::equal_ci(s.substr(s.size() - tail.size()), tail);
}

// The files below a folder, relative, sorted; names beginning with "." are
// left out, and so is the folder `skip` (an output folder inside the tree).
std::vector<fs::path> files_below(const fs::path& root, Diagnostics& d, const fs::path& skip = {}) {
  std::vector<fs::path> out;
  std::error_code ec;
  const fs::path skipped = skip.empty() ? fs::path() : fs::weakly_canonical(skip, ec);
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    std::error_code same;
    if (!skipped.empty() && it->is_directory(same) && fs::weakly_canonical(it->path(), same) == skipped) {
      it.disable_recursion_pending();
      continue;
    }
    if (!name.empty() && name[0] == '.') {
      if (it->is_directory(ec)) it.disable_recursion_pending();
      continue;
    }
    if (it->is_symlink(ec)) {
      d.warning(it->path().string(), 0, 0, "a link is not followed; left out");
      if (it->is_directory(ec)) it.disable_recursion_pending();
      continue;
    }
    if (it->is_regular_file(ec)) out.push_back(it->path().lexically_relative(root));
  }
  if (ec) d.error(root.string(), 0, 0, "cannot read the folder (" + ec.message() + ")");
  std::sort(out.begin(), out.end());
  return out;
}

void write_file(const fs::path& path, std::span<const std::uint8_t> bytes) {
  write_host_file(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// Copies a loose file as it is, making the folder it goes to.
void copy_asset(const fs::path& from, const fs::path& to, Diagnostics& d) {
  std::error_code ec;
  fs::create_directories(to.parent_path(), ec);
  fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
  if (ec) d.error(from.string(), 0, 0, "cannot copy to " + to.string() + " (" + ec.message() + ")");
}

}  // namespace

std::optional<std::string> title_name_of_path(const fs::path& relative) {
  std::string u = relative.generic_string();
  std::replace(u.begin(), u.end(), '/', '\\');
  return platform::codepage::from_utf8(u);
}

fs::path path_of_title_name(std::string_view sjis_name) {
  std::string u = utf8(sjis_name);
  std::replace(u.begin(), u.end(), '\\', '/');
  return fs::path(u);
}

std::optional<std::string> page_name_of_source(const fs::path& relative) {
  std::string u = relative.generic_string();
  if (!ends_with_ci(u, kPageSourceExtension)) return std::nullopt;
  u.resize(u.size() - kPageSourceExtension.size());
  if (!ends_with_ci(u, ".nsb")) u += ".nsb";
  return title_name_of_path(u);
}

fs::path source_of_page_name(std::string_view sjis_name) {
  std::string u = path_of_title_name(sjis_name).string();
  if (u.size() >= 4 && u.substr(u.size() - 4) == ".nsb") u.resize(u.size() - 4);
  return fs::path(u + std::string(kPageSourceExtension));
}

// --- Building -------------------------------------------------------------------

bool build_title(const fs::path& source, const fs::path& output, const BuildOptions& options, Diagnostics& d,
                 BuildReport& report) {
  std::error_code ec;
  if (!fs::is_directory(source, ec)) {
    d.error(source.string(), 0, 0, "no such source folder");
    return false;
  }
  struct PageFileSource {
    fs::path path;
    std::string name;
  };
  std::vector<PageFileSource> page_files;
  std::vector<std::pair<std::string, fs::path>> assets;  // title name, relative path
  std::optional<fs::path> project;
  std::map<std::string, std::string> taken;  // upper-case title name -> the file that gives it
  auto claim = [&](const std::string& name, const fs::path& file) {
    auto [it, fresh] = taken.emplace(core::upper(name), file.generic_string());
    if (!fresh) {
      d.error((source / file).string(), 0, 0,
              "gives the title file \"" + utf8(name) + "\", which " + it->second + " gives already");
    }
  };
  for (const fs::path& rel : files_below(source, d, output)) {
    const std::string shown = (source / rel).string();
    if (rel == fs::path(kProjectSourceName)) {
      project = rel;
      claim(std::string(kSettingsName), rel);
      continue;
    }
    if (ends_with_ci(rel.generic_string(), kPageSourceExtension)) {
      auto name = page_name_of_source(rel);
      if (!name) {
        d.error(shown, 0, 0, "the file name has a character that Shift-JIS cannot hold");
        continue;
      }
      claim(*name, rel);
      page_files.push_back({rel, *name});
      continue;
    }
    auto name = title_name_of_path(rel);
    if (!name) {
      d.error(shown, 0, 0, "the file name has a character that Shift-JIS cannot hold");
      continue;
    }
    claim(*name, rel);
    assets.emplace_back(*name, rel);
  }
  if (!project) d.error((source / kProjectSourceName).string(), 0, 0, "the project source is missing");

  // Every page is read before any is compiled: targets may name labels of
  // pages further on.
  std::vector<PageSource> pages;
  TitleLabels labels;
  for (const PageFileSource& p : page_files) {
    const fs::path file = source / p.path;
    std::string text;
    try {
      text = read_host_file(file);
    } catch (const core::Error& e) {
      d.error(file.string(), 0, 0, utf8(e.message()));
      continue;
    }
    pages.push_back(PageSource::parse(text, file.string(), p.name, d));
    labels.add(p.name, pages.back().labels());
  }
  std::vector<std::pair<std::string, std::vector<std::uint8_t>>> built;
  for (const PageSource& p : pages) {
    script::TPageFile page = p.compile(&labels, d);
    try {
      built.emplace_back(p.page_name(), page.bytes());
    } catch (const core::Error& e) {
      d.error(utf8(p.page_name()), 0, 0, utf8(e.message()));
    }
  }
  std::optional<std::string> settings;
  if (project) {
    const fs::path file = source / *project;
    try {
      settings = compile_project_source(read_host_file(file), file.string(), d);
    } catch (const core::Error& e) {
      d.error(file.string(), 0, 0, utf8(e.message()));
    }
  }
  if (d.has_errors() || !settings) return false;

  fs::create_directories(output, ec);
  if (ec) {
    d.error(output.string(), 0, 0, "cannot make the output folder (" + ec.message() + ")");
    return false;
  }
  try {
    if (options.pack) {
      files::TVrFileCollection archive;
      archive.SetSourceFolder(source);
      archive.SetBriCompressTest(graphics::IsUncompressedBrio);
      std::vector<std::pair<std::string, std::vector<std::uint8_t>>> entries = built;
      entries.emplace_back(std::string(kSettingsName), std::vector<std::uint8_t>(settings->begin(), settings->end()));
      std::sort(entries.begin(), entries.end());
      for (const auto& [name, bytes] : entries) archive.AddMemoryFile(name, bytes);
      for (const auto& [name, rel] : assets) archive.AddSourceName(name);
      files::TKvBigFileStream out(output / kArchiveName, files::file_mode::kCreate, files::kBigPartSize);
      archive.Write(out);
    } else {
      write_host_file(output / kSettingsName, *settings);
      for (const auto& [name, bytes] : built) write_file(output / path_of_title_name(name), bytes);
      for (const auto& [name, rel] : assets) copy_asset(source / rel, output / path_of_title_name(name), d);
    }
  } catch (const core::Error& e) {
    d.error(output.string(), 0, 0, utf8(e.message()));
  }
  report.pages = static_cast<int>(built.size());
  report.assets = static_cast<int>(assets.size());
  return !d.has_errors();
}

// --- Dumping ----------------------------------------------------------------------

namespace {

// One file of a title: its name and where its bytes come from.
struct TitleEntry {
  std::string name;  // Shift-JIS, "\\" between folders
  fs::path host;     // a loose file, or empty
  const files::TVrFile* entry = nullptr;
  files::TVrFileCollection* archive = nullptr;
  files::TVrFileManager* manager = nullptr;  // read by the player's lookup

  std::vector<std::uint8_t> read() const {
    if (manager) {
      auto stream = manager->ReadFile(name);
      auto bytes = stream->bytes();
      return {bytes.begin(), bytes.end()};
    }
    if (!host.empty()) {
      const std::string s = read_host_file(host);
      return {s.begin(), s.end()};
    }
    files::MemoryBlock block;
    archive->ReadEntry(*entry, block);
    return {block.data(), block.data() + block.size()};
  }
};

// The file manager of a dump asks nobody anything: it reads what is there.
class NoDialogs final : public platform::Dialogs {
 public:
  platform::MessageAnswer message_box(const platform::MessageBoxSpec& spec) override {
    return spec.buttons == platform::MessageButtons::YesNo ? platform::MessageAnswer::No
                                                           : platform::MessageAnswer::Cancel;
  }
  std::optional<fs::path> open_file(const platform::FileDialogSpec&) override { return std::nullopt; }
  std::optional<fs::path> save_file(const platform::FileDialogSpec&) override { return std::nullopt; }
  std::optional<fs::path> select_folder(const platform::FileDialogSpec&) override { return std::nullopt; }
};

}  // namespace

bool dump_title(const std::vector<fs::path>& arguments, const fs::path& output, const DumpOptions& options,
                Diagnostics& d, DumpReport& report) {
  std::error_code ec;
  if (arguments.empty()) {
    d.error("", 0, 0, "no title given (a folder, or an archive such as game.dat)");
    return false;
  }
  const fs::path& title = arguments.front();
  std::vector<TitleEntry> entries;
  std::map<std::string, std::size_t> by_name;  // upper-case
  std::vector<std::unique_ptr<files::TVrFileCollection>> archives;
  NoDialogs dialogs;
  std::unique_ptr<files::TVrFileManager> manager;

  if (arguments.size() == 1 && fs::is_regular_file(title, ec)) {
    // An archive alone: its entries, each once.
    auto c = std::make_unique<files::TVrFileCollection>();
    try {
      c->Open(title);
    } catch (const core::Error& e) {
      d.error(title.string(), 0, 0, utf8(e.message()));
      return false;
    }
    for (int i = 0; i < c->Count(); ++i) {
      const files::TVrFile& f = c->At(i);
      if (f.IsSentinel()) continue;
      const std::string key = core::upper(f.Name());
      if (by_name.count(key)) {
        d.warning(title.string(), 0, 0, "\"" + utf8(f.Name()) + "\" is in the archive twice; the first is dumped");
        continue;
      }
      by_name[key] = entries.size();
      entries.push_back({f.Name(), {}, &f, c.get(), nullptr});
    }
    archives.push_back(std::move(c));
  } else {
    // A title as the player mounts it: the base folder's files first, then
    // the entries of the archives in their mounting order, each name once
    // and read by the player's own lookup, so that the dump is the title
    // that plays.
    for (const fs::path& a : arguments) {
      if (!fs::exists(a, ec)) {
        d.error(a.string(), 0, 0, "no such title (a folder or an archive)");
        return false;
      }
    }
    files::FileManagerEnvironment env;
    env.temp_folder = fs::temp_directory_path(ec);
    env.current_cdrom_roots = [] { return std::vector<fs::path>{}; };
    env.max_prompt_rounds = 1;
    manager = std::make_unique<files::TVrFileManager>(dialogs, std::move(env));
    try {
      files::mount_title_data(*manager, {}, arguments);
    } catch (const core::Error& e) {
      d.error(title.string(), 0, 0, utf8(e.message()));
      return false;
    }
    std::map<std::string, fs::path> loose_by_name;  // upper-case name -> the file the lookup finds
    if (fs::is_directory(title, ec)) {
      files::HostFileFinder finder;
      for (const fs::path& rel : files_below(title, d)) {
        const std::string g = rel.generic_string();
        if (core::equal_ci(g, script::kSaveFileName)) continue;  // the player's saves, not the title's
        if (core::equal_ci(g, kArchiveName)) continue;           // mounted: its entries are the title's
        auto name = title_name_of_path(rel);
        if (!name) {
          d.error((title / rel).string(), 0, 0, "the file name has a character that Shift-JIS cannot hold");
          continue;
        }
        const std::string key = core::upper(*name);
        if (by_name.count(key)) {
          const std::optional<fs::path> found = finder.FindFile(title, *name);
          d.warning((title / rel).string(), 0, 0,
                    "another file of this name without regard to case is what the player reads" +
                        (found ? " (" + found->string() + ")" : std::string()) + "; this one is left out");
          continue;
        }
        loose_by_name[key] = title / rel;
        by_name[key] = entries.size();
        entries.push_back({*name, {}, nullptr, nullptr, manager.get()});
      }
    }
    for (int i = 1; i < manager->ArchiveCount(); ++i) {
      files::TVrFileCollection& archive = manager->Archive(i);
      for (int k = 0; k < archive.Count(); ++k) {
        const files::TVrFile& f = archive.At(k);
        if (f.IsSentinel()) continue;
        const std::string key = core::upper(f.Name());
        if (by_name.count(key)) {
          auto loose = loose_by_name.find(key);
          if (loose != loose_by_name.end()) {
            d.warning(archive.FileName().string(), 0, 0,
                      "note: the entry \"" + utf8(f.Name()) + "\" is shadowed by the file " + loose->second.string() +
                          ", which the player reads and which is dumped");
          }
          continue;
        }
        by_name[key] = entries.size();
        entries.push_back({f.Name(), {}, nullptr, nullptr, manager.get()});
      }
    }
  }
  if (d.has_errors()) return false;

  // Pages first, all of them, for the labels that targets name.
  std::vector<std::pair<std::string, script::TPageFile>> pages;
  std::vector<const TitleEntry*> assets;
  const TitleEntry* project = nullptr;
  TitleLabels labels;
  for (const TitleEntry& e : entries) {
    const std::string why = files::names::unsafe_reason(e.name);
    if (!why.empty()) {
      d.error(title.string(), 0, 0, "the entry \"" + utf8(e.name) + "\" leaves the folder (" + why + ")");
      continue;
    }
    if (core::equal_ci(e.name, kSettingsName)) {
      project = &e;
      continue;
    }
    if (ends_with_ci(e.name, ".nsb")) {
      try {
        const auto bytes = e.read();
        script::TPageFile page = script::TPageFile::parse(bytes, e.name);
        if (page.bytes() != bytes) core::throw_error("the page does not read back to its own bytes");
        labels.add(e.name, page_labels(page));
        pages.emplace_back(e.name, std::move(page));
        continue;
      } catch (const core::Error& err) {
        d.warning(utf8(e.name), 0, 0, "kept as a file, since it is no page: " + utf8(err.message()));
      }
    }
    const std::string u = utf8(e.name);
    if (ends_with_ci(u, kPageSourceExtension) || core::equal_ci(u, kProjectSourceName)) {
      d.error(u, 0, 0, "a title file of this name would be read as a source; it cannot be dumped");
      continue;
    }
    assets.push_back(&e);
  }
  if (!project) d.warning(title.string(), 0, 0, "the title has no nova.npb; the source tree has no project");
  if (d.has_errors()) return false;

  fs::create_directories(output, ec);
  try {
    for (const auto& [name, page] : pages) {
      const fs::path rel = source_of_page_name(name);
      if (page_name_of_source(rel) != name) {
        d.error(utf8(name), 0, 0, "the page name has no source file name that gives it back");
        continue;
      }
      PageDumpOptions o;
      o.exact = options.exact;
      o.ops = options.ops;
      o.page_name = name;
      o.title = &labels;
      PageDumpStats stats;
      write_host_file(output / rel, dump_page(page, o, stats));
      ++report.pages;
      report.expressions += stats.expressions;
      report.raw_expressions += stats.raw_expressions;
      report.texts += stats.texts;
      report.raw_texts += stats.raw_texts;
      if (options.exact && !stats.verified) {
        ++report.unverified_pages;
        d.warning(utf8(name), 0, 0, "the exact source does not build back to the page's bytes");
      }
    }
    if (project) {
      const auto bytes = project->read();
      bool verified = false;
      write_host_file(output / kProjectSourceName,
                      dump_project(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                                   options.exact, &verified));
      report.project_verified = verified;
    }
    for (const TitleEntry* a : assets) {
      const fs::path to = output / path_of_title_name(a->name);
      if (!a->host.empty()) {
        copy_asset(a->host, to, d);
      } else {
        write_file(to, a->read());
      }
      ++report.assets;
    }
  } catch (const core::Error& e) {
    d.error(output.string(), 0, 0, utf8(e.message()));
  }
  return !d.has_errors();
}

}  // namespace nova::tools
