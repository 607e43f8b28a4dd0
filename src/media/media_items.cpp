#include "media/media_items.h"

#include <algorithm>

#include "media/media_managers.h"
#include "media/media_source.h"

namespace nova::media {

bool TMarkedItem::may_play() {
  if (m_manager.Enabled()) return true;
  m_resume_mark = true;
  return false;
}

// --- TWmpItem ----------------------------------------------------------------------------

TWmpItem::TWmpItem(TWmpManager& manager, std::string_view name)
    : TMarkedItem(manager), m_library(manager.Library()), m_source(open_media_source(manager.Files(), name)) {
  m_handle = m_library.novaWmpmanAdd(m_source.get());
}

TWmpItem::~TWmpItem() { m_library.novaWmpmanDel(m_handle); }

bool TWmpItem::GetRepeat() { return m_library.novaWmpGetAutoRepeat(m_handle); }
void TWmpItem::SetRepeat(bool on) { m_library.novaWmpSetAutoRepeat(m_handle, on); }
std::int32_t TWmpItem::GetPan() { return m_library.novaWmpGetPan(m_handle); }
std::int32_t TWmpItem::GetVolume() { return m_library.novaWmpGetVol(m_handle); }
void TWmpItem::SetPan(std::int32_t p) { m_library.novaWmpSetPan(m_handle, p); }
void TWmpItem::SetVolume(std::int32_t v) { m_library.novaWmpSetVol(m_handle, v); }
std::int32_t TWmpItem::GetPosition() { return m_library.novaWmpGetPosition(m_handle); }
void TWmpItem::SetPosition(std::int32_t ms) {
  m_library.novaWmpSetPosition(m_handle, std::max(ms, 0));
  m_end_reported = false;
}
std::int32_t TWmpItem::GetLength() { return m_library.novaWmpGetLen(m_handle); }
bool TWmpItem::IsEnd() {
  if (m_end_reported || !m_library.novaWmpIsEnd(m_handle)) return false;
  m_end_reported = true;
  return true;
}
bool TWmpItem::IsPlaying() { return m_library.novaWmpIsPlaying(m_handle); }
bool TWmpItem::IsPaused() { return m_library.novaWmpIsPaused(m_handle); }
void TWmpItem::Play() {
  if (may_play()) m_library.novaWmpPlay(m_handle);
}
void TWmpItem::Pause() {
  m_resume_mark = false;
  m_library.novaWmpPause(m_handle);
}
bool TWmpItem::AtEnd() { return m_library.novaWmpIsEnd(m_handle); }

// --- TOggItem ----------------------------------------------------------------------------

TCustomOggItem::TCustomOggItem(TOggManager& manager) : TMarkedItem(manager) {}

TOggItem::TOggItem(TOggManager& manager, std::string_view name)
    : TCustomOggItem(manager), m_library(manager.Library()), m_source(open_media_source(manager.Files(), name)) {
  m_handle = m_library.novaOggmanAdd(m_source.get(), has_ogg_extension(name));
}

TOggItem::~TOggItem() { m_library.novaOggmanDel(m_handle); }

bool TOggItem::GetRepeat() { return m_library.novaOggGetAutoRepeat(m_handle); }
void TOggItem::SetRepeat(bool on) { m_library.novaOggSetAutoRepeat(m_handle, on); }
std::int32_t TOggItem::GetRepeatPos() { return m_library.novaOggGetRepeatPos(m_handle); }
void TOggItem::SetRepeatPos(std::int32_t ms) { m_library.novaOggSetRepeatPos(m_handle, ms); }
std::int32_t TOggItem::GetPan() { return m_library.novaOggGetPan(m_handle); }
std::int32_t TOggItem::GetVolume() { return m_library.novaOggGetVol(m_handle); }
void TOggItem::SetPan(std::int32_t p) { m_library.novaOggSetPan(m_handle, p); }
void TOggItem::SetVolume(std::int32_t v) { m_library.novaOggSetVol(m_handle, v); }
std::int32_t TOggItem::GetPosition() { return m_library.novaOggGetPosition(m_handle); }
void TOggItem::SetPosition(std::int32_t ms) { m_library.novaOggSetPosition(m_handle, std::max(ms, 0)); }
std::int32_t TOggItem::GetLength() { return m_library.novaOggGetLen(m_handle); }
bool TOggItem::IsEnd() {
  if (m_end_reported || !m_library.novaOggIsEnd(m_handle)) return false;
  m_end_reported = true;
  return true;
}
bool TOggItem::IsPlaying() { return m_library.novaOggIsPlaying(m_handle) && !IsPaused(); }
bool TOggItem::IsPaused() { return m_library.novaOggIsPaused(m_handle); }
void TOggItem::Play() {
  if (may_play()) m_library.novaOggPlay(m_handle);
}
void TOggItem::Pause() {
  m_resume_mark = false;
  m_library.novaOggPause(m_handle);
}
bool TOggItem::AtEnd() { return m_library.novaOggIsEnd(m_handle); }

// --- TOggWaveItem ------------------------------------------------------------------------

TOggWaveItem::TOggWaveItem(TOggManager& manager, std::string_view name)
    : TCustomOggItem(manager), m_mixer(manager.Mixer()), m_source(open_media_source(manager.Files(), name)) {
  m_stream = std::make_unique<TOggStream>(manager.Library(), m_source.get(), has_ogg_extension(name));
  m_buffer = m_mixer.AddBuffer(m_stream->Format(), m_stream.get());
}

TOggWaveItem::~TOggWaveItem() {
  // The mixer stops reading the decoder stream before it goes.
  if (m_buffer) m_mixer.RemoveBuffer(m_buffer);
}

std::int64_t TOggWaveItem::bits_per_second() const {
  const WaveFormatEx& f = m_stream->Format();
  return static_cast<std::int64_t>(f.bits_per_sample) * f.channels * static_cast<std::int64_t>(f.samples_per_sec);
}

namespace {

// num / den to the nearest integer, ties to even (den > 0, num >= 0).
std::int64_t round_even(std::int64_t num, std::int64_t den) {
  const std::int64_t q = num / den;
  const std::int64_t r = num % den;
  return (2 * r > den || (2 * r == den && (q & 1))) ? q + 1 : q;
}

}  // namespace

std::int64_t TOggWaveItem::ms_to_bytes(std::int64_t ms) const {
  // 64-bit: ms × B overflows 32 bits after 1.52 s of 44.1 kHz stereo.
  const std::int64_t bytes = round_even(std::max<std::int64_t>(ms, 0) * bits_per_second(), 8000);
  const int align = m_stream->Format().block_align;
  return align > 0 ? bytes - bytes % align : bytes;
}

std::int32_t TOggWaveItem::bytes_to_ms(std::int64_t bytes) const {
  const std::int64_t bps = bits_per_second();
  if (bps == 0) return 0;
  return static_cast<std::int32_t>(round_even(std::max<std::int64_t>(bytes, 0) * 8000, bps));
}

bool TOggWaveItem::GetRepeat() { return m_buffer->Loop(); }
void TOggWaveItem::SetRepeat(bool on) { m_buffer->SetLoop(on); }
std::int32_t TOggWaveItem::GetRepeatPos() { return bytes_to_ms(m_buffer->RepeatPosition()); }
void TOggWaveItem::SetRepeatPos(std::int32_t ms) { m_buffer->SetRepeatPosition(ms_to_bytes(ms)); }

void TOggWaveItem::SetVolume(std::int32_t v) {
  m_volume = std::clamp(v, -10000, 0);
  m_buffer->SetVolume((std::max(m_volume, -5000) + 5000) * 256 / 5000);
}

std::int32_t TOggWaveItem::GetPosition() { return bytes_to_ms(m_buffer->GetPosition()); }
void TOggWaveItem::SetPosition(std::int32_t ms) { m_buffer->SetReadPosition(ms_to_bytes(ms)); }
std::int32_t TOggWaveItem::GetLength() { return m_stream->LengthMs(); }

bool TOggWaveItem::IsEnd() {
  if (m_buffer && m_buffer->Loop() && m_buffer->Drained()) {
    m_buffer->Play();
    return false;
  }
  return !m_buffer || m_buffer->Drained();
}

bool TOggWaveItem::AtEnd() { return !m_buffer || m_buffer->Drained(); }

bool TOggWaveItem::IsPlaying() { return m_buffer && m_buffer->Started() && !m_paused && !m_buffer->Drained(); }

void TOggWaveItem::Play() {
  // Deferred like every other sound while media is off.
  if (!may_play()) return;
  m_buffer->Play();
  m_paused = false;
}

void TOggWaveItem::Pause() {
  m_resume_mark = false;
  m_buffer->Pause();
  m_paused = true;
}

}  // namespace nova::media
