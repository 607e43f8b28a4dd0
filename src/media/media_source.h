// Opening an item's file: always through the virtual file manager, as a
// range stream the media library reads in place.
#pragma once

#include <memory>
#include <string_view>

#include "files/file_manager.h"
#include "files/range_stream.h"

namespace nova::media {

// The file's range stream. Absolute names ("\" or "/" first), drive names
// ("x:"), network names ("\\") and names whose ".." climbs above the base
// folder name no title file: they raise "%s:ファイルがありません" like any
// missing file.
std::unique_ptr<files::TRangeStream> open_media_source(files::TVrFileManager& files, std::string_view name);

// True when the name's extension is ".ogg" (ignoring case): the hint that
// the data is Ogg rather than WAV.
bool has_ogg_extension(std::string_view name);

}  // namespace nova::media
