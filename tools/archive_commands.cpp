// The archive commands of `nova`: list, unpack, pack and verify.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/format.h"
#include "core/sjis.h"
#include "files/archive.h"
#include "files/names.h"
#include "graphics/brios.h"
#include "platform/codepage.h"
#include "tools/command_errors.h"
#include "tools/commands.h"

namespace nova::tools {
namespace {

namespace fs = std::filesystem;
using files::TVrFile;
using files::TVrFileCollection;

std::string utf8(std::string_view sjis) { return platform::codepage::to_utf8(sjis); }

// Options shared by the commands that read an archive.
struct Options {
  std::vector<std::string> positional;
  std::string resource;
  std::string resource_type = "BINTYPE";
  std::int64_t part_size = files::kBigPartSize;
  std::string exe;
  bool stored_checksums = false;
  bool help = false;
};

Options parse(const std::vector<std::string>& args, bool pack_options) {
  Options o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) fail(a + " needs a value");
      return args[++i];
    };
    if (a == "--help" || a == "-h") {
      o.help = true;
    } else if (a == "--part-size") {
      const std::string& v = value();
      char* end = nullptr;
      errno = 0;
      long long n = std::strtoll(v.c_str(), &end, 10);
      if (errno || !end || *end || n <= 0) fail("--part-size needs a positive number of bytes, not \"" + v + "\"");
      o.part_size = n;
    } else if (!pack_options && a == "--resource") {
      o.resource = value();
    } else if (!pack_options && a == "--type") {
      o.resource_type = value();
    } else if (pack_options && a == "--exe") {
      o.exe = value();
    } else if (pack_options && a == "--stored-checksums") {
      o.stored_checksums = true;
    } else if (a.size() > 1 && a[0] == '-') {
      fail("unknown option " + a);
    } else {
      o.positional.push_back(a);
    }
  }
  return o;
}

const char* kArchiveHelp =
    "ARCHIVE is any archive: a file (split into parts or not), one with a companion\n"
    "\".ext\" directory, an executable with an appended archive, or, with\n"
    "--resource NAME [--type TYPE], a resource of an executable (type BINTYPE by\n"
    "default). --part-size BYTES reads parts of another size than 1 GiB.\n";

std::unique_ptr<TVrFileCollection> open_archive(const fs::path& path, const Options& o) {
  files::ArchiveOptions options;
  options.part_size = o.part_size;
  auto c = std::make_unique<TVrFileCollection>(options);
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) fail(path.string() + ": no such file");
  if (!o.resource.empty()) {
    c->OpenResource(path, core::upper(o.resource), core::upper(o.resource_type));
  } else {
    c->Open(path);
  }
  return c;
}

// --- list --------------------------------------------------------------------

int run_list(const std::vector<std::string>& args) {
  Options o = parse(args, false);
  if (o.help || o.positional.size() != 1) {
    std::printf(
        "usage: nova list ARCHIVE [--resource NAME [--type TYPE]] [--part-size BYTES]\n\n"
        "Lists the entries: stored size, whether stored as is or as a zlib stream,\n"
        "time stamp, checksum and what it covers, name.\n\n%s",
        kArchiveHelp);
    return o.help ? 0 : 2;
  }
  auto c = open_archive(o.positional[0], o);
  std::printf("%s: version %d, %s, %d entries\n", o.positional[0].c_str(), c->Version(),
              std::string(files::form_name(c->Form())).c_str(), c->EntryCount());
  std::printf("%12s  %-6s  %-19s  %-8s  %-6s  %s\n", "size", "form", "time stamp", "checksum", "over", "name");
  for (int i = 0; i < c->Count(); ++i) {
    const TVrFile& f = c->At(i);
    if (f.IsSentinel()) continue;
    std::string sum = c->HasChecksums() ? core::format("%08X", {f.checksum}) : "-";
    const char* over = !c->HasChecksums() ? "-" : (f.checksum_mode ? "data" : "stored");
    std::printf("%12lld  %-6s  %-19s  %-8s  %-6s  %s\n", static_cast<long long>(f.length), f.stored ? "stored" : "zlib",
                files::names::format_dos_time(f.time_stamp).c_str(), sum.c_str(), over, utf8(f.Name()).c_str());
  }
  return 0;
}

// --- unpack ------------------------------------------------------------------

using files::host::Fd;

// Opens the entry's file below the target folder, making the folders on the
// way. No component is followed through a link, so an entry cannot be
// steered outside the folder by one planted there.
Fd create_below(int root, const std::vector<std::string>& parts, const std::string& shown) {
  Fd current(::dup(root));
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    int fd = ::openat(current.get(), parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
      if (::mkdirat(current.get(), parts[i].c_str(), 0755) != 0 && errno != EEXIST) {
        fail(shown + ": cannot make folder " + parts[i] + " (" + std::strerror(errno) + ")");
      }
      fd = ::openat(current.get(), parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    if (fd < 0) fail(shown + ": cannot use folder " + parts[i] + " (" + std::strerror(errno) + ")");
    current = Fd(fd);
  }
  int fd = ::openat(current.get(), parts.back().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) fail(shown + ": cannot create the file (" + std::strerror(errno) + ")");
  return Fd(fd);
}

int run_unpack(const std::vector<std::string>& args) {
  Options o = parse(args, false);
  if (o.help || o.positional.size() != 2) {
    std::printf(
        "usage: nova unpack ARCHIVE DIR [--resource NAME [--type TYPE]] [--part-size BYTES]\n\n"
        "Writes every entry as a file below DIR (made when missing), with its time\n"
        "stamp. Entry names that would leave DIR (a \"..\" component, a leading \"\\\",\n"
        "a drive colon) are refused and nothing is written.\n\n%s",
        kArchiveHelp);
    return o.help ? 0 : 2;
  }
  auto c = open_archive(o.positional[0], o);
  const fs::path target = o.positional[1];

  struct Planned {
    const TVrFile* entry;
    std::vector<std::string> parts;
  };
  std::vector<Planned> plan;
  std::vector<std::string> refused;
  for (int i = 0; i < c->Count(); ++i) {
    const TVrFile& f = c->At(i);
    if (f.IsSentinel()) continue;
    std::string why = files::names::unsafe_reason(f.Name());
    if (!why.empty()) {
      refused.push_back("\"" + utf8(f.Name()) + "\" (" + why + ")");
      continue;
    }
    Planned p{&f, {}};
    for (const auto& part : files::names::components(f.Name())) {
      std::string host = utf8(part);
      if (host == ".") continue;
      p.parts.push_back(host);
    }
    if (p.parts.empty()) {
      refused.push_back("\"" + utf8(f.Name()) + "\" (no file name)");
      continue;
    }
    plan.push_back(std::move(p));
  }
  if (!refused.empty()) {
    std::string list;
    for (const auto& r : refused) list += "\n  " + r;
    fail(o.positional[0] + ": refusing to unpack entries whose names leave the folder:" + list);
  }

  std::error_code ec;
  fs::create_directories(target, ec);
  Fd root(::open(target.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (root.get() < 0) fail(target.string() + ": cannot open the folder (" + std::strerror(errno) + ")");
  files::MemoryBlock data;
  for (const auto& p : plan) {
    const std::string shown = utf8(p.entry->Name());
    Fd out = create_below(root.get(), p.parts, shown);
    try {
      c->ReadEntry(*p.entry, data);
    } catch (const core::Error& e) {
      fail(shown + ": " + utf8(e.message()));
    }
    if (!files::host::write_all(out.get(), data.bytes())) fail(shown + ": cannot write (" + std::strerror(errno) + ")");
    std::int64_t when = files::names::unix_from_dos_time(p.entry->time_stamp);
    if (p.entry->time_stamp != 0 && when >= 0) {
      struct timespec times[2] = {{static_cast<time_t>(when), 0}, {static_cast<time_t>(when), 0}};
      ::futimens(out.get(), times);
    }
  }
  std::printf("unpacked %zu entries into %s\n", plan.size(), target.c_str());
  return 0;
}

// --- pack --------------------------------------------------------------------

// Whether `file` is the archive being written or one of its parts;
// `output_folder` is the output's folder, made canonical once by the caller.
bool is_output(const fs::path& file, const fs::path& output, const fs::path& output_folder) {
  std::error_code ec;
  if (fs::weakly_canonical(file.parent_path(), ec) != output_folder) return false;
  if (file.filename() == output.filename()) return true;
  if (file.stem() != fs::path(output).replace_extension().filename()) return false;
  std::string ext = file.extension().string();
  return ext.size() == 4 && std::all_of(ext.begin() + 1, ext.end(), [](char ch) { return ch >= '0' && ch <= '9'; });
}

int run_pack(const std::vector<std::string>& args) {
  Options o = parse(args, true);
  if (o.help || o.positional.size() != 2) {
    std::printf(
        "usage: nova pack DIR ARCHIVE [--exe PLAYER] [--stored-checksums] [--part-size BYTES]\n\n"
        "Packs every file below DIR into ARCHIVE (version 102), named by its path\n"
        "below DIR with \"\\\" between folders. Files are compressed by the writer's\n"
        "rules: media and \".dat\" files, files of 5 MiB or more, and files that\n"
        "compress by less than a tenth are stored as they are; of layered pictures\n"
        "(\".bri\") only those of storage mode 1 are compressed.\n"
        "  --exe PLAYER        write PLAYER followed by the archive (the appended form)\n"
        "  --stored-checksums  checksums over the stored bytes instead of the data\n"
        "  --part-size BYTES   split into parts of this size instead of 1 GiB\n");
    return o.help ? 0 : 2;
  }
  const fs::path folder = o.positional[0];
  const fs::path output = o.positional[1];
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) fail(folder.string() + ": no such folder");

  std::error_code canonical_ec;
  const fs::path output_folder = fs::weakly_canonical(output.parent_path(), canonical_ec);
  std::vector<std::pair<std::string, fs::path>> found;  // title name, host path
  for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (it->is_symlink(ec)) {
      std::fprintf(stderr, "nova pack: skipping the link %s\n", it->path().c_str());
      continue;
    }
    if (!it->is_regular_file(ec) || is_output(it->path(), output, output_folder)) continue;
    const std::string relative = it->path().lexically_relative(folder).string();
    auto converted = platform::codepage::from_utf8(relative);
    if (!converted) {
      // Only a name that fails is searched for the spot to show.
      auto bad = platform::codepage::first_unconvertible(relative);
      fail(it->path().string() + ": the name has a character that Shift-JIS cannot hold" +
           (bad ? ", at byte " + std::to_string(*bad) + " of" : " in") + " \"" + relative + "\"");
    }
    std::string name = std::move(*converted);
    std::replace(name.begin(), name.end(), '/', '\\');  // "/" is never part of a Shift-JIS character
    found.emplace_back(std::move(name), it->path());
  }
  if (ec) fail(folder.string() + ": cannot read the folder (" + ec.message() + ")");
  std::sort(found.begin(), found.end());

  TVrFileCollection c;
  c.SetSourceFolder(folder);
  c.SetBriCompressTest(graphics::IsUncompressedBrio);
  for (const auto& f : found) c.AddSourceName(f.first, !o.stored_checksums);
  const bool terminal = ::isatty(2);
  c.SetProgress([&](const TVrFileCollection&, const TVrFile& e, bool&, int count, int index, std::int64_t bytes) {
    if (!terminal || (bytes == 0 && index > 0)) return;
    const int width = 30;
    int done = count ? (index + (bytes > 0 ? 1 : 0)) * width / count : width;
    std::string name = utf8(e.Name());
    if (name.size() > 40) name = "..." + name.substr(name.size() - 37);
    std::fprintf(stderr, "\r[%s%s] %d/%d %-40s", std::string(static_cast<std::size_t>(done), '#').c_str(),
                 std::string(static_cast<std::size_t>(width - done), ' ').c_str(), index + 1, count, name.c_str());
  });

  std::int64_t written = 0;
  int parts = 1;
  try {
    if (!o.exe.empty()) {
      auto file = std::make_unique<files::TKvBigFileStream>(output, files::file_mode::kCreate, INT64_MAX);
      files::TKvBigFileStream player(o.exe, files::file_mode::kOpenRead, INT64_MAX);
      const std::int64_t base = player.GetSize();
      if (base > 0x7FFFFFFF) fail(o.exe + ": the player is too large to carry an archive");
      if (file->WriteFromBig(player, 0) != base) fail(o.exe + ": cannot copy the player");
      files::TKvBigWindowStream archive(std::move(file), base, files::TKvBigWindowStream::kUnbounded);
      c.Write(archive);
      files::TKvBigStream& whole = archive.Source();
      files::write_appended_trailer(whole, base);
      written = whole.GetSize();
      ::chmod(output.c_str(), 0755);
    } else {
      files::TKvBigFileStream out(output, files::file_mode::kCreate, o.part_size);
      c.Write(out);
      written = out.GetSize();
      parts = out.PartCount();
    }
  } catch (...) {
    if (terminal) std::fputc('\n', stderr);
    files::TKvBigFileStream::DeleteParts(output);
    throw;
  }
  if (terminal) std::fputc('\n', stderr);
  std::printf("packed %zu files into %s (%lld bytes%s)\n", found.size(), output.c_str(),
              static_cast<long long>(written), parts > 1 ? core::format(" in %d parts", {parts}).c_str() : "");
  return 0;
}

// --- verify ------------------------------------------------------------------

int run_verify(const std::vector<std::string>& args) {
  Options o = parse(args, false);
  if (o.help || o.positional.size() != 1) {
    std::printf(
        "usage: nova verify ARCHIVE [--resource NAME [--type TYPE]] [--part-size BYTES]\n\n"
        "Checks every entry's checksum by its mode and that every compressed entry\n"
        "inflates; names the bad entries and fails when there is one. Archives of\n"
        "versions before 101 carry no checksums: only the inflating is checked.\n\n%s",
        kArchiveHelp);
    return o.help ? 0 : 2;
  }
  auto c = open_archive(o.positional[0], o);
  if (!c->HasChecksums()) {
    std::printf("%s: version %d archives carry no checksums; checking that every entry inflates\n",
                o.positional[0].c_str(), c->Version());
  }
  int bad = 0, checked = 0;
  for (int i = 0; i < c->Count(); ++i) {
    const TVrFile& f = c->At(i);
    if (f.IsSentinel()) continue;
    ++checked;
    std::string problem = c->CheckEntry(f);
    if (problem.empty()) continue;
    ++bad;
    std::printf("BAD %s: %s\n", utf8(f.Name()).c_str(), utf8(problem).c_str());
  }
  std::printf("%s: %d entries checked, %d bad\n", o.positional[0].c_str(), checked, bad);
  return bad ? 1 : 0;
}

NOVA_TOOL_COMMAND("list", "list the entries of an archive", run_list);
NOVA_TOOL_COMMAND("unpack", "write the entries of an archive into a folder", run_unpack);
NOVA_TOOL_COMMAND("pack", "pack a folder into an archive", run_pack);
NOVA_TOOL_COMMAND("verify", "check the checksums and data of an archive", run_verify);

}  // namespace
}  // namespace nova::tools
