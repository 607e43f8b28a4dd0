// Title names: Shift-JIS file names inside a title, with "\" as the folder
// separator, compared without regard to case. "\" (0x5C) can be the second
// byte of a double-byte character, so every scan here steps over such a
// character as one unit.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nova::files::names {

// The position of the last "\" that is a character of its own, or npos.
std::size_t last_separator(std::string_view name);

// The extension: from the last "." after the last "\" or ":" to the end,
// with the dot ("bgm\op.ogg" → ".ogg"); empty when there is none.
std::string extension(std::string_view name);

// The name up to and including its last "\" (or, for a name that starts
// with "\\" or has ":" as its second character, its last "\" or ":"); empty
// when it has none.
std::string folder_of(std::string_view name);

// A name of the other system's absolute form: a drive letter and colon, or a
// leading "\\". Such names have no meaning on this host.
bool is_foreign_absolute(std::string_view name);

// The components between "\" and "/" separators, empty ones dropped.
std::vector<std::string> components(std::string_view name);

// Why a name may not become a path below a folder (a ".." component, a
// leading "\" or "/", a drive colon, a NUL byte, no components), or empty
// when it may.
std::string unsafe_reason(std::string_view name);

// Adds a "\" when the name is not empty and does not end with one.
std::string with_separator(std::string_view folder);

// The packed date-time form of time stamps: date in the high 16 bits
// (year − 1980, month, day), time in the low 16 bits (hour, minute,
// second / 2), in local time.
std::int32_t dos_time_from_unix(std::int64_t unix_seconds);
// The Unix time of a packed date-time, or -1 when it is not a valid one.
std::int64_t unix_from_dos_time(std::int32_t dos_time);
// "YYYY-MM-DD HH:MM:SS", or "-" for 0 and invalid values.
std::string format_dos_time(std::int32_t dos_time);

}  // namespace nova::files::names
