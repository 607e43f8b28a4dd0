// The name of the single-instance lock, built from the data path so that one
// player runs per title folder.
#pragma once

#include <string>
#include <string_view>

namespace nova::app {

// `source` is argument 1 as given, or the executable's folder with its
// trailing "/". It is upper-cased with the C library's locale-aware mapping
// (character by character in the current locale's encoding, so "é" becomes
// "É" in a UTF-8 locale), a "/" is appended unless the text already ends with
// one, and every "/" becomes "-": the folder /games/title gives -GAMES-TITLE-.
std::string instance_lock_name(std::string_view source);

}  // namespace nova::app
