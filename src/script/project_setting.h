// TProjectSetting: the project settings file "nova.npb".
//
//   version              int32   at most 115
//   title                string
//   screen width, height 2 × int32
//   display options A, B 2 × int32
//   start page           string
//   exit page            string  110 and above
//   registry key         string
//   image key            int32
//   keep status          byte    above 103
//   idle option          byte    106 and above
//   streamed extensions  string  109 and above
//   pause when inactive  byte    above 112
//   reserved byte        byte    114 and above
//   disc text, quit text 2 × string
//   initial variables    int32 count; per variable a type byte, a name and
//                        a value by type (int32, 10-byte float, byte,
//                        string; other types none)
//   folder-disc list     the TFolderDiskList form
//
// Fields a version does not store keep the values given here; the writer
// writes what the version stores (a field it cannot store must hold that
// value, so nothing is dropped without a word).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/binary_io.h"
#include "files/install_set.h"

namespace nova::script {

constexpr std::int32_t kNewestSettingsVersion = 115;

// Which fields a version of the file stores.
inline bool has_exit_page(std::int32_t v) { return v >= 110; }
inline bool has_keep_status(std::int32_t v) { return v > 103; }
inline bool has_idle_option(std::int32_t v) { return v >= 106; }
inline bool has_streamed_extensions(std::int32_t v) { return v >= 109; }
inline bool has_pause_when_inactive(std::int32_t v) { return v > 112; }
inline bool has_reserved(std::int32_t v) { return v >= 114; }

struct TInitialVariable {
  std::uint8_t type = 0;  // PT code
  std::string name;
  std::int32_t int_value = 0;
  long double float_value = 0;
  bool flag_value = false;
  std::string string_value;

  friend bool operator==(const TInitialVariable&, const TInitialVariable&) = default;
};

struct TProjectSetting {
  std::int32_t version = kNewestSettingsVersion;
  std::string title;
  std::int32_t screen_width = 640;
  std::int32_t screen_height = 480;
  std::int32_t display_option_a = 0;
  std::int32_t display_option_b = 0;
  std::string start_page;
  std::string exit_page;
  std::string registry_key;
  std::int32_t image_key = 0;
  std::uint8_t keep_status = 0;
  std::uint8_t idle_option = 0;
  std::string streamed_extensions = ".wav.wma.ogg.mid";
  std::uint8_t pause_when_inactive = 0;
  std::uint8_t reserved = 0;
  std::string disc_text;
  std::string quit_text;
  std::vector<TInitialVariable> initial_variables;
  files::TFolderDiskList folders;

  // A version above 115 raises "このバージョンには対応していません";
  // anything truncated or out of range raises core::Error.
  static TProjectSetting Parse(std::span<const std::uint8_t> bytes);
  void Write(core::ByteWriter& w) const;
  std::vector<std::uint8_t> Bytes() const;
};

}  // namespace nova::script
