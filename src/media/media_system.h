// The media system: the media library and the media managers, made at the
// media start-up of the main window and freed at its end, each step traced.
// The app's media host owns it beside the screen manager and forwards the
// window's activation (PauseAll/ResumeAll), the base list's media flag
// (SetEnabled) and the composed frames (FrameShown).
//
// Start-up: novaInit (the library opens its output stream on the
// platform's sound output), novaOggmanSetUseThread; then, after the host
// made the screen manager, the video, media-player and Ogg managers in this
// order. The CD audio and MIDI managers have their slots here and come
// with their own work; until then those slots stay empty.
//
// Main thread only. The platform and the file manager must outlive it.
#pragma once

#include <functional>
#include <memory>
#include <string_view>

#include "files/file_manager.h"
#include "media/media_managers.h"
#include "media/nova_library.h"
#include "platform/platform.h"

namespace nova::media {

// Which manager plays a file, by its name (extensions compared after
// lower-casing).
enum class MediaKind : std::uint8_t { None, Midi, MediaPlayer, Ogg, CdAudio };
MediaKind media_kind_of(std::string_view name);

class MediaSystem {
 public:
  using Trace = std::function<void(std::string_view step)>;

  // novaInit and novaOggmanSetUseThread.
  MediaSystem(platform::Platform& platform, files::TVrFileManager& files, SoundSettings settings, Trace trace = {});
  // MediaFinal when it has not run.
  ~MediaSystem();
  MediaSystem(const MediaSystem&) = delete;
  MediaSystem& operator=(const MediaSystem&) = delete;

  // The video, media-player and Ogg managers, in this order.
  void CreateManagers();
  // Frees the managers in order, then novaFinal. Safe to call twice.
  void MediaFinal();

  // The managers; nullptr before CreateManagers and after MediaFinal.
  TVideoManager* VideoMan() const { return m_video.get(); }
  TWmpManager* WmpMan() const { return m_wmp.get(); }
  TOggManager* OggMan() const { return m_ogg.get(); }
  NovaLibrary* Library() const { return m_library.get(); }

  // Every manager in turn.
  void PauseAll();
  void ResumeAll();
  void SetEnabled(bool enabled);
  void FrameShown();
  // Used around a change of the display mode; nothing to do for the
  // library's video.
  void MediaSuspend() {}
  void MediaResume() {}

 private:
  void trace(std::string_view step) const {
    if (m_trace) m_trace(step);
  }

  platform::Platform& m_platform;
  files::TVrFileManager& m_files;
  SoundSettings m_settings;
  Trace m_trace;
  std::unique_ptr<NovaLibrary> m_library;
  std::unique_ptr<TVideoManager> m_video;
  std::unique_ptr<TWmpManager> m_wmp;
  std::unique_ptr<TOggManager> m_ogg;
};

}  // namespace nova::media
