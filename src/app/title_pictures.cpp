#include "app/title_pictures.h"

namespace nova::app {

std::vector<std::uint8_t> TitlePictureFiles::read_all(const std::string& name) const {
  const std::unique_ptr<files::TKvMemoryStream> s = m_files.ReadFile(name);
  const auto bytes = s->bytes();
  return {bytes.begin(), bytes.end()};
}

}  // namespace nova::app
