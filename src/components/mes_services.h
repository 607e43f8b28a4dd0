// What message boxes need from outside the component system: the glyph
// manager their engines draw with, where their text commands' texts and
// the values of variables in text come from, inline pictures, and the
// wait a tagged text starts with. A base list is given them in its
// services; everything given must outlive the list. (The read marks,
// which the project restores later, are given to the list by
// set_read_marks.)
#pragma once

#include <cstdint>
#include <functional>

namespace nova::text {
class TFontPixelManager;
class InlinePictureSource;
class TextVariableSource;
}  // namespace nova::text
namespace nova::data {
class TextCommandSource;
}

namespace nova::components {

struct MesServices {
  // Without it a box cannot make its engine: it shows nothing and says so.
  text::TFontPixelManager* glyphs = nullptr;
  // Without it every text command's text is missing.
  data::TextCommandSource* texts = nullptr;
  text::TextVariableSource* variables = nullptr;
  text::InlinePictureSource* pictures = nullptr;
  // @TextDelay, the first wait of a text set through PR_TEXT; 50 without.
  std::function<std::int32_t()> text_delay;
};

}  // namespace nova::components
