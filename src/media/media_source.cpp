#include "media/media_source.h"

#include "core/error.h"
#include "core/format.h"
#include "core/sjis.h"
#include "files/names.h"

namespace nova::media {
namespace {

bool names_title_file(std::string_view name) {
  if (name.empty() || name[0] == '\\' || name[0] == '/') return false;
  if (files::names::is_foreign_absolute(name) || (name.size() >= 2 && name[1] == ':')) return false;
  int depth = 0;
  for (const std::string& c : files::names::components(name)) {
    if (c == "..") {
      if (--depth < 0) return false;
    } else if (c != ".") {
      ++depth;
    }
  }
  return true;
}

}  // namespace

std::unique_ptr<files::TRangeStream> open_media_source(files::TVrFileManager& files, std::string_view name) {
  if (!names_title_file(name)) throw core::Error(core::format(core::sjis("%s:ファイルがありません"), {name}));
  return files.OpenRange(name);
}

bool has_ogg_extension(std::string_view name) {
  std::string ext = files::names::extension(name);
  for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return ext == ".ogg";
}

}  // namespace nova::media
