#include "script/save_file.h"

#include <algorithm>
#include <cstring>

#include "core/error.h"
#include "core/format.h"
#include "core/log.h"
#include "core/sjis.h"
#include "files/stream.h"
#include "platform/atomic_file.h"
#include "platform/codepage.h"

namespace nova::script {
namespace fs = std::filesystem;
// --- Paths ---------------------------------------------------------------------------

bool is_program_files_folder(const fs::path& folder, const std::vector<fs::path>& program_folders) {
  std::error_code ec;
  const fs::path p = fs::weakly_canonical(fs::absolute(folder, ec), ec).lexically_normal();
  for (const fs::path& root : program_folders) {
    const fs::path r = fs::weakly_canonical(fs::absolute(root, ec), ec).lexically_normal();
    auto mismatch = std::mismatch(r.begin(), r.end(), p.begin(), p.end());
    // Every component of the root starts the folder (a trailing empty
    // component of a root written with "/" counts as matched).
    if (mismatch.first == r.end() || (std::next(mismatch.first) == r.end() && mismatch.first->empty())) return true;
  }
  return false;
}

std::string user_folder_name(std::string_view title) {
  static constexpr std::string_view kReplaced = "\\/:,;*?<>|\"";
  std::string name;
  core::for_each_char(title, [&](std::size_t at, std::size_t n) {
    if (n == 2) {
      name.append(title.substr(at, 2));
      return;
    }
    const auto c = static_cast<std::uint8_t>(title[at]);
    if (c < 0x20 || c == 0x7F) return;
    name += kReplaced.find(static_cast<char>(c)) != std::string_view::npos ? '_' : static_cast<char>(c);
  });
  if (name.empty() || name == "." || name == "..") name = "_";
  return platform::codepage::to_utf8(name);
}

fs::path locate_save_file(const SavePathInputs& inputs, std::string_view title) {
  std::error_code ec;
  if (!inputs.arguments.empty()) {
    const fs::path& first = inputs.arguments.front();
    // An archive given as argument 1 keeps its saves beside it.
    if (fs::is_regular_file(first, ec)) return first.parent_path() / kSaveFileName;
    return first / kSaveFileName;
  }
  const fs::path& beside = inputs.executable_folder;
  if (!is_program_files_folder(beside, inputs.program_folders) && inputs.folder_writable &&
      inputs.folder_writable(beside))
    return beside / kSaveFileName;

  const fs::path folder = inputs.user_data_folder / user_folder_name(title);
  fs::create_directories(folder, ec);
  if (!fs::is_directory(folder, ec)) core::throw_error_utf8("データファイルを作成することができません");
  const fs::path target = folder / kSaveFileName;
  const fs::path old = beside / kSaveFileName;
  if (fs::is_regular_file(old, ec) && !fs::exists(target, ec)) {
    fs::copy_file(old, target, ec);
    if (ec) {
      core::logf(core::Channel::Script, core::Level::Warning, "cannot copy %s to %s",
                 {files::host::path_text(old), files::host::path_text(target)});
    }
  }
  return target;
}

// --- The status record -------------------------------------------------------------------

TStatusTail read_status_record(std::span<const std::uint8_t> record, expr::TParamCollection& store,
                               data::TDBManager& tables) {
  core::ByteReader r(record);
  r.set_context(std::string(kStatusEntryName));
  TStatusTail tail;
  tail.version = 0;
  if (record.size() >= 6 && std::memcmp(record.data(), "Status", 6) == 0) {
    r.skip(6);
    for (int i = 0; i < 3; ++i) {
      const std::uint8_t c = r.u8();
      if (c < '0' || c > '9') r.fail("bad version digits");
      tail.version = tail.version * 10 + (c - '0');
    }
  }
  // Everything is read before the store takes the variables and the
  // manager the tables, so a damaged record changes nothing.
  const std::size_t variables_at = r.position();
  {
    expr::TParamCollection scratch;
    scratch.load_status_variables(r);
  }
  if (tail.version >= kStatusReadMarksVersion) tail.read_marks.LoadFromStream(r);
  if (tail.version > kStatusReadMarksVersion) tail.image_quality = r.u8() != 0;
  std::optional<data::TDBManager::Block> status_tables;
  if (tail.version >= kStatusTablesVersion) {
    status_tables = data::TDBManager::read(r, data::TDBManager::Form::Status);
    if (!r.at_end()) {
      core::logf(core::Channel::Script, core::Level::Warning, "%s: %d bytes after the status tables ignored",
                 {kStatusEntryName, r.remaining()});
    }
  }
  core::ByteReader variables(record);
  variables.set_context(std::string(kStatusEntryName));
  variables.skip(variables_at);
  store.load_status_variables(variables);
  if (status_tables) tables.apply(std::move(*status_tables));
  return tail;
}

void write_status_record(core::ByteWriter& w, const expr::TParamCollection& store, const TStatusTail& tail,
                         const data::TDBManager& tables) {
  const std::int32_t version = std::max(tail.version, kStatusVersion);
  w.bytes(core::format("Status%.3d", {version}));
  store.save_status_variables(w);
  tail.read_marks.SaveToStream(w);
  w.u8(tail.image_quality ? 1 : 0);
  tables.save(w, data::TDBManager::Form::Status);
}

// --- The archive ------------------------------------------------------------------------------

TSaveFile::TSaveFile(fs::path path, Store store) : m_path(std::move(path)), m_store(std::move(store)) {
  if (!m_store) m_store = files::host::write_file_atomically;
}

bool TSaveFile::exists() const {
  std::error_code ec;
  return fs::is_regular_file(m_path, ec);
}

std::unique_ptr<files::TVrFileCollection> TSaveFile::open() const {
  auto archive = std::make_unique<files::TVrFileCollection>();
  archive->Open(m_path);
  // Entries come from the archive itself, never from files that happen to
  // lie beside it under an entry's name.
  archive->SetSourceFolder({});
  return archive;
}

void TSaveFile::store(files::TVrFileCollection& archive) const {
  files::TKvBigMemoryStream out;
  archive.Write(out);
  m_store(m_path, out.bytes());
  remove_leftover_temporaries(m_path);
}

void remove_leftover_temporaries(const fs::path& path) {
  // A writer killed between making its temporary and the rename leaves it
  // behind; the store that succeeded after it is the one to clear it.
  // Only names the atomic writer makes for this very file are touched.
  const std::string prefix = path.filename().string() + std::string(platform::kAtomicTempSuffix);
  constexpr std::size_t kUniqueChars = 6;
  std::error_code ec;
  std::vector<fs::path> leftovers;
  for (fs::directory_iterator it(path.parent_path(), ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() == prefix.size() + kUniqueChars && name.compare(0, prefix.size(), prefix) == 0 &&
        it->is_regular_file(ec)) {
      leftovers.push_back(it->path());
    }
  }
  for (const fs::path& p : leftovers) {
    if (!fs::remove(p, ec) || ec) {
      core::logf(core::Channel::Script, core::Level::Warning, "cannot remove the leftover %s",
                 {files::host::path_text(p)});
    }
  }
}

void TSaveFile::store_entries(std::span<const Entry> entries) const {
  auto archive = open();
  for (const Entry& e : entries) {
    for (int i = archive->IndexOf(e.name); i >= 0; i = archive->IndexOf(e.name)) archive->Delete(i);
    archive->AddBorrowedFile(std::string(e.name), e.bytes);
  }
  store(*archive);
}

void TSaveFile::put_entry(std::string_view name, const std::optional<std::vector<std::uint8_t>>& bytes) const {
  auto archive = open();
  for (int i = archive->IndexOf(name); i >= 0; i = archive->IndexOf(name)) archive->Delete(i);
  if (bytes) archive->AddMemoryFile(std::string(name), *bytes);
  store(*archive);
}

std::optional<std::int32_t> game_slot_of(std::string_view entry_name) {
  if (!core::starts_with_ci(entry_name, kGameEntryPrefix)) return std::nullopt;
  const std::string_view digits = entry_name.substr(kGameEntryPrefix.size());
  // Canonical decimals only: with leading zeros two names could claim one
  // slot.
  if (digits.empty() || (digits.size() > 1 && digits[0] == '0')) return std::nullopt;
  std::int64_t slot = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    slot = slot * 10 + (c - '0');
    if (slot > INT32_MAX) return std::nullopt;
  }
  return static_cast<std::int32_t>(slot);
}

std::string game_entry_name(std::int32_t slot) { return std::string(kGameEntryPrefix) + std::to_string(slot); }

}  // namespace nova::script
