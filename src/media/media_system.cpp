#include "media/media_system.h"

#include "files/names.h"

namespace nova::media {

MediaKind media_kind_of(std::string_view name) {
  std::string ext = files::names::extension(name);
  for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  if (ext == ".mid" || ext == ".sgt") return MediaKind::Midi;
  if (ext == ".wma" || ext == ".asf" || ext == ".wmv") return MediaKind::MediaPlayer;
  if (ext == ".ogg" || ext == ".wav") return MediaKind::Ogg;
  if (name.substr(0, 3) == "CD_") return MediaKind::CdAudio;
  return MediaKind::None;
}

MediaSystem::MediaSystem(platform::Platform& platform, files::TVrFileManager& files, SoundSettings settings,
                         Trace trace)
    : m_platform(platform), m_files(files), m_settings(settings), m_trace(std::move(trace)) {
  this->trace("novaInit");
  m_library = std::make_unique<NovaLibrary>(platform.sound());
  this->trace("novaOggmanSetUseThread");
  m_library->novaOggmanSetUseThread(true);
}

MediaSystem::~MediaSystem() { MediaFinal(); }

void MediaSystem::CreateManagers() {
  trace("VideoMan.Create");
  m_video = std::make_unique<TVideoManager>(*m_library, m_files);
  trace("WmpMan.Create");
  m_wmp = std::make_unique<TWmpManager>(*m_library, m_files);
  trace("OggMan.Create");
  m_ogg = std::make_unique<TOggManager>(*m_library, m_files, m_platform, m_settings);
}

void MediaSystem::MediaFinal() {
  if (!m_library) return;
  if (m_video) {
    trace("VideoMan.Free");
    m_video.reset();
  }
  if (m_wmp) {
    trace("WmpMan.Free");
    m_wmp.reset();
  }
  if (m_ogg) {
    trace("OggMan.Free");
    m_ogg.reset();
  }
  trace("novaFinal");
  m_library.reset();
}

void MediaSystem::PauseAll() {
  if (m_video) m_video->PauseAll();
  if (m_wmp) m_wmp->PauseAll();
  if (m_ogg) m_ogg->PauseAll();
}

void MediaSystem::ResumeAll() {
  if (m_video) m_video->ResumeAll();
  if (m_wmp) m_wmp->ResumeAll();
  if (m_ogg) m_ogg->ResumeAll();
}

void MediaSystem::SetEnabled(bool enabled) {
  // The video manager has no switch of its own.
  if (m_wmp) m_wmp->SetEnabled(enabled);
  if (m_ogg) m_ogg->SetEnabled(enabled);
}

void MediaSystem::FrameShown() {
  if (m_video) m_video->FrameShown();
}

}  // namespace nova::media
