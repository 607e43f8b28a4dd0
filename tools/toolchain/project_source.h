// The project source: the fields of "nova.npb" as lines of "name: value".
//
//   version: 115                  the file's version (fields a version does
//                                 not store keep the file's defaults)
//   title: デモ                   window caption and application title
//   screen: 640x480               display size
//   display_options: 0, 0         passed to the screen manager
//   start: start.nsb              the page run at start
//   exit: end.nsb                 run once when the player closes (none by default)
//   registry_key: NovaDemo        under "Software\" for the CD drive letter
//   image_key: 0                  key of protected ".bri" images
//   keep_status: yes              write status data into save.dat
//   idle: no                      the idle option (kept, not used)
//   streamed_extensions: .wav.wma.ogg.mid
//   pause_when_inactive: no
//   reserved: 0
//   disc_text: ...                the disc prompt (with %d for the disc)
//   quit_text: ...                the quit question
//   variable: int score = 0       an initial (status) variable; one line each,
//                                 types int, float, bool, str, or a type code
//   folder: data\disc2 = 2        which disc holds a folder; one line each
//   exact_bytes: `...`            the file as stored, for files whose fields
//                                 cannot say everything (a flag byte other
//                                 than 0 or 1, bytes after the last field);
//                                 the fields above are then for reading only
// Lines beginning with "#" are comments.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "script/project_setting.h"
#include "tools/toolchain/source_text.h"

namespace nova::tools {

// The file's bytes; nullopt when there were errors (reported).
std::optional<std::string> compile_project_source(std::string_view utf8, const std::string& file,
                                                  Diagnostics& diagnostics);

// The project source of a settings file. `exact` adds exact_bytes when the
// fields cannot give the very bytes; `verified` (when given) tells whether
// building the source gives them.
std::string dump_project(std::string_view bytes, bool exact, bool* verified = nullptr);

}  // namespace nova::tools
