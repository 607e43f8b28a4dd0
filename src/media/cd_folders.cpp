#include "media/cd_folders.h"

#include <algorithm>

#include "core/error.h"
#include "core/log.h"
#include "media/decoder_stream.h"

namespace nova::media {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool ogg_name(const std::filesystem::path& p) {
  std::string ext = p.extension().string();
  for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return ext == ".ogg";
}

std::unique_ptr<files::TRangeStream> open_track(const std::filesystem::path& file) {
  try {
    return std::make_unique<files::TFileRangeStream>(file, 0, 0);
  } catch (const core::Error& e) {
    core::log(core::Channel::Media, core::Level::Warning, e.message());
    return nullptr;
  }
}

}  // namespace

int cd_track_number(std::string_view name) {
  if (name.size() < 4 || name.size() > 5) return -1;
  const std::string_view digits = name.substr(3);
  int n = 0;
  for (char c : digits) {
    if (!is_digit(c)) return -1;
    n = n * 10 + (c - '0');
  }
  return n >= 1 && n <= 99 ? n : -1;
}

int track_file_number(std::string_view name) {
  if (name.size() < 8) return -1;
  constexpr std::string_view kTrack = "track";
  for (std::size_t i = 0; i < kTrack.size(); ++i) {
    const char c = name[i];
    if (static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c) != kTrack[i]) return -1;
  }
  if (!is_digit(name[5]) || !is_digit(name[6]) || name[7] != '.') return -1;
  const int n = (name[5] - '0') * 10 + (name[6] - '0');
  return n >= 1 ? n : -1;
}

// --- CdFolderAudio --------------------------------------------------------------------------

CdFolderAudio::CdFolderAudio(NovaLibrary& library, std::vector<std::filesystem::path> folders)
    : m_library(library), m_folders(std::move(folders)) {
  // D: to Z:.
  if (m_folders.size() > 23) m_folders.resize(23);
}

CdFolderAudio::~CdFolderAudio() = default;

std::vector<std::string> CdFolderAudio::drives() {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < m_folders.size(); ++i) out.push_back(std::string(1, static_cast<char>('D' + i)) + ":");
  return out;
}

std::unique_ptr<platform::CdDrive> CdFolderAudio::open(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= m_folders.size()) return nullptr;
  return std::make_unique<FolderCdDrive>(*this, m_folders[static_cast<std::size_t>(index)]);
}

void CdFolderAudio::set_line_volume(const platform::CdLineVolume& v) {
  m_line = {std::clamp(v.left, 0, 65535), std::clamp(v.right, 0, 65535), v.mute};
  for (FolderCdDrive* d : m_open) {
    if (Voice* voice = d->voice()) apply_line(*voice);
  }
}

void CdFolderAudio::apply_line(Voice& voice) const {
  if (m_line.mute)
    voice.set_line_gain(0, 0);
  else
    voice.set_line_gain(m_line.left, m_line.right);
}

// --- FolderCdDrive --------------------------------------------------------------------------

FolderCdDrive::FolderCdDrive(CdFolderAudio& audio, const std::filesystem::path& folder) : m_audio(audio) {
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    const int n = track_file_number(it->path().filename().string());
    if (n < 1) continue;
    // Two files of one number: the first by name, so the choice repeats.
    auto [pos, added] = m_tracks.emplace(n, it->path());
    if (!added && it->path() < pos->second) pos->second = it->path();
    m_count = std::max(m_count, n);
  }
  m_audio.m_open.push_back(this);
}

FolderCdDrive::~FolderCdDrive() {
  stop();
  std::erase(m_audio.m_open, this);
}

Voice* FolderCdDrive::voice() const { return m_handle ? m_audio.m_library.voice(m_handle) : nullptr; }

platform::CdMode FolderCdDrive::mode() {
  const Voice* v = voice();
  return v && v->is_playing() ? platform::CdMode::Playing : platform::CdMode::Stopped;
}

int FolderCdDrive::track_length_seconds(int track) {
  if (auto it = m_lengths.find(track); it != m_lengths.end()) return it->second;
  int seconds = 0;
  if (auto file = m_tracks.find(track); file != m_tracks.end()) {
    if (auto source = open_track(file->second)) {
      DecoderStream decoder(*source, ogg_name(file->second), m_audio.m_library.callback_lock());
      seconds = static_cast<int>(decoder.length_ms() / 1000);
    }
  }
  m_lengths[track] = seconds;
  return seconds;
}

int FolderCdDrive::position_seconds() {
  const Voice* v = voice();
  return v ? v->position_ms() / 1000 : 0;
}

bool FolderCdDrive::play(int track, int from_second) {
  stop();
  auto file = m_tracks.find(track);
  if (file == m_tracks.end()) return false;
  m_source = open_track(file->second);
  if (!m_source) return false;
  m_handle = m_audio.m_library.add_voice(m_source.get(), ogg_name(file->second));
  Voice* v = voice();
  if (!v || v->length_frames() == 0) {
    stop();
    return false;
  }
  v->set_repeat(m_repeat);
  m_audio.apply_line(*v);
  if (from_second > 0) v->set_position_ms(std::int64_t{from_second} * 1000);
  v->play();
  return true;
}

void FolderCdDrive::stop() {
  if (m_handle) m_audio.m_library.remove_voice(m_handle);
  m_handle = 0;
  m_source.reset();
}

void FolderCdDrive::set_repeat(bool on) {
  m_repeat = on;
  if (Voice* v = voice()) v->set_repeat(on);
}

}  // namespace nova::media
