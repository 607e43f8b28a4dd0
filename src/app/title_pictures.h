// TitlePictures: the title's picture cache and the files it reads, over the
// virtual file manager. Made just before the component system and freed
// after it ("BrioMan.Free"), so no component outlives the pictures it
// shows; owned by the title services.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "files/file_manager.h"
#include "graphics/brio_collection.h"
#include "graphics/picture_files.h"

namespace nova::app {

// The title's files by name, through the file manager (names without
// regard to case).
class TitlePictureFiles final : public graphics::PictureFiles {
 public:
  explicit TitlePictureFiles(files::TVrFileManager& files) : m_files(files) {}
  bool exists(const std::string& name) const override { return m_files.Exists(name); }
  std::vector<std::uint8_t> read_all(const std::string& name) const override;

 private:
  files::TVrFileManager& m_files;
};

class TitlePictures {
 public:
  // The screen's bit count; the image key comes with the project.
  TitlePictures(files::TVrFileManager& files, int screen_bits) : m_files(files), m_cache(m_files, 0, screen_bits) {}
  graphics::TBrioCollection& cache() { return m_cache; }
  const graphics::PictureFiles& files() const { return m_files; }

 private:
  TitlePictureFiles m_files;
  graphics::TBrioCollection m_cache;
};

}  // namespace nova::app
