// Finding title names on the host's case-sensitive disk.
//
// A title refers to "BGM\Op.ogg" whatever the case of the folders and files
// on disk, so each component is matched without regard to case (the code
// page's folding) against the folder's entries. Folder listings are cached:
// a lookup costs hash lookups and one stat of the file found. When a
// component is missing, the folder is listed again if it may have changed
// since (its modification time moved, or the listing was taken so soon after
// a change that the time cannot tell), so a file created meanwhile is found
// without listing a folder on every lookup.
//
// Entries whose names have no Shift-JIS form cannot be named by a title and
// are left out. When several entries fold to the same name, an exact match
// wins, otherwise the first in byte order.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace nova::files {

class HostFileFinder {
 public:
  // The regular file that the title name names below `root`, or nullopt.
  // Names of the other system's absolute form are never found; "." is
  // skipped and ".." goes up one folder, as it would there.
  std::optional<std::filesystem::path> FindFile(const std::filesystem::path& root, std::string_view name);
  // The folder that the title name names below `root` (the root itself for
  // an empty name), or nullopt.
  std::optional<std::filesystem::path> FindFolder(const std::filesystem::path& root, std::string_view name);

  // A host file name in Shift-JIS, as a title sees it, or nullopt when it
  // has no Shift-JIS form.
  static std::optional<std::string> TitleNameOf(const std::filesystem::path& host_name);

  // How many times a folder was listed (for tests of the cache).
  std::uint64_t ListingCount() const { return m_listing_count; }

 private:
  struct Listing {
    bool ok = false;
    std::int64_t mtime_ns = 0;
    std::int64_t listed_at_ns = 0;
    // Folded name → the host names that fold to it, in byte order.
    std::unordered_map<std::string, std::vector<std::string>> names;
  };

  enum class Want : std::uint8_t { File, Folder };
  std::optional<std::filesystem::path> find(const std::filesystem::path& root, std::string_view name, Want want);
  const Listing& listing(const std::filesystem::path& folder, bool refresh);
  bool may_be_stale(const std::filesystem::path& folder, const Listing& l) const;
  std::optional<std::filesystem::path> match(const std::filesystem::path& folder, const std::string& component,
                                             bool last, Want want);

  std::unordered_map<std::string, Listing> m_listings;
  std::uint64_t m_listing_count = 0;
};

}  // namespace nova::files
