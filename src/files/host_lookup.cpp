#include "files/host_lookup.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <ctime>

#include "core/sjis.h"
#include "files/names.h"
#include "platform/codepage.h"

namespace nova::files {
namespace fs = std::filesystem;

namespace {

// A listing taken this soon after its folder changed cannot rule out a
// change it did not see: the modification time has the coarse resolution of
// the kernel's clock.
constexpr std::int64_t kRacyWindowNs = 2'000'000'000;

std::int64_t ns_of(const struct timespec& t) { return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec; }

std::int64_t now_ns() {
  struct timespec t {};
  clock_gettime(CLOCK_REALTIME, &t);
  return ns_of(t);
}

enum class Kind : std::uint8_t { None, File, Folder, Other };

Kind kind_of(const fs::path& p) {
  struct stat st {};
  if (::stat(p.c_str(), &st) != 0) return Kind::None;
  if (S_ISREG(st.st_mode)) return Kind::File;
  if (S_ISDIR(st.st_mode)) return Kind::Folder;
  return Kind::Other;
}

}  // namespace

std::optional<std::string> HostFileFinder::TitleNameOf(const fs::path& host_name) {
  return platform::codepage::from_utf8(host_name.string());
}

std::optional<fs::path> HostFileFinder::FindFile(const fs::path& root, std::string_view name) {
  return find(root, name, Want::File);
}

std::optional<fs::path> HostFileFinder::FindFolder(const fs::path& root, std::string_view name) {
  return find(root, name, Want::Folder);
}

std::optional<fs::path> HostFileFinder::find(const fs::path& root, std::string_view name, Want want) {
  if (root.empty() || names::is_foreign_absolute(name)) return std::nullopt;
  const auto parts = names::components(name);
  fs::path current = root;
  bool checked = false;  // match() has checked the kind of the last component
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const std::string& part = parts[i];
    checked = false;
    if (part == ".") continue;
    if (part == "..") {
      current = current.has_filename() ? current.parent_path() : current.parent_path().parent_path();
      continue;
    }
    auto next = match(current, part, i + 1 == parts.size(), want);
    if (!next) return std::nullopt;
    current = std::move(*next);
    checked = true;
  }
  if (checked) return current;
  Kind k = kind_of(current);
  if ((want == Want::File && k != Kind::File) || (want == Want::Folder && k != Kind::Folder)) return std::nullopt;
  return current;
}

const HostFileFinder::Listing& HostFileFinder::listing(const fs::path& folder, bool refresh) {
  const std::string key = folder.string();
  auto it = m_listings.find(key);
  if (it != m_listings.end() && !refresh) return it->second;
  Listing l;
  ++m_listing_count;
  struct stat st {};
  if (::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    l.mtime_ns = ns_of(st.st_mtim);
    l.listed_at_ns = now_ns();
    if (DIR* dir = ::opendir(folder.c_str())) {
      l.ok = true;
      while (dirent* e = ::readdir(dir)) {
        std::string host_name = e->d_name;
        if (host_name == "." || host_name == "..") continue;
        auto title_name = TitleNameOf(host_name);
        if (!title_name) continue;
        l.names[core::upper(*title_name)].push_back(std::move(host_name));
      }
      ::closedir(dir);
      for (auto& [folded, hosts] : l.names) std::sort(hosts.begin(), hosts.end());
    }
  }
  return m_listings[key] = std::move(l);
}

bool HostFileFinder::may_be_stale(const fs::path& folder, const Listing& l) const {
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0) return true;
  if (ns_of(st.st_mtim) != l.mtime_ns) return true;
  return l.listed_at_ns - l.mtime_ns < kRacyWindowNs;
}

std::optional<fs::path> HostFileFinder::match(const fs::path& folder, const std::string& component, bool last,
                                              Want want) {
  const std::string folded = core::upper(component);
  const std::string exact = platform::codepage::to_utf8(component);
  for (int attempt = 0; attempt < 2; ++attempt) {
    const Listing& l = listing(folder, attempt == 1);
    if (!l.ok) return std::nullopt;
    bool found_any = false;
    auto it = l.names.find(folded);
    if (it != l.names.end()) {
      found_any = true;
      std::vector<const std::string*> order;
      for (const auto& h : it->second) {
        if (h == exact)
          order.insert(order.begin(), &h);
        else
          order.push_back(&h);
      }
      for (const std::string* h : order) {
        fs::path candidate = folder / *h;
        Kind k = kind_of(candidate);
        bool wanted_folder = !last || want == Want::Folder;
        if ((wanted_folder && k == Kind::Folder) || (!wanted_folder && k == Kind::File)) return candidate;
      }
    }
    // A name listed but gone (or of the wrong kind) means the listing is old;
    // a name not listed is looked for again only when the folder may have
    // changed since.
    if (attempt == 0 && !found_any && !may_be_stale(folder, l)) return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace nova::files
