// Revealing a page over time: glyph after glyph, each after its wait scaled
// by the engine's speed, each fading in over the fade time, events handed to
// the owner once nothing fades, and where the reveal stands saved with the
// owner.
//
// One step (given the elapsed milliseconds of the frame):
//   1. the changed rectangles of the engine are cleared;
//   2. unless every glyph is revealed, the engine holds or events wait to be
//      handed over, the time budget falls by the elapsed time (which counts
//      as 0 at the very first glyph, and once right after events went);
//   3. while glyphs remain and the budget is not positive, the next glyph is
//      revealed at level 0, unless its row starts below the visible window
//      (then the reveal waits for the view to scroll): a wait w >= 0 adds
//      w × max(0, speed) / 256 ms to the budget, a negative one its absolute
//      value unless the speed is negative; the caret moves to the next
//      glyph; an event (when events are on) joins the pending text and ends
//      the loop, unless the next glyph is an event too; an end event always
//      ends it;
//   4. every fading glyph's level grows by elapsed × 256 / fade time (the
//      remainder kept; 255 with no fade time), at most 255 a step; animated
//      pictures advance by their frame delays;
//   5. with nothing fading, pending events are split at tabs and handed to
//      the engine's event callback.
// Budgets and the fade accumulator are 64-bit, so no wait, speed or elapsed
// time can wrap them.
//
// The reveal-state record: the page's scroll, the reveal's row and glyph
// within the row, the complete flag (byte), the pending event text
// (string), then for each row and glyph in order: a character or picture
// writes its level (int32; still fading: 255, not revealed: 0), a variable
// its first produced character's (0 if none); produced glyphs, indent
// blanks and operation glyphs write nothing.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "core/binary_io.h"

namespace nova::text {

class TWdPage;

struct StepResult {
  bool complete = false;
  std::string revealed;  // the characters revealed in this step ("*" for a picture)
};

// Nothing revealed, nothing fading, nothing pending; the caret at the first
// glyph.
void reset_reveal(TWdPage& page);
// Renders the page into the engine's surfaces (word_render.h) and, unless
// resuming, resets its reveal first; the whole surface is changed.
void start_page(TWdPage& page, bool resume);
// Resets the reveal and marks the whole surface changed.
void restart_page(TWdPage& page);
StepResult step(TWdPage& page, std::int32_t elapsed_ms);
// Every glyph revealed and opaque at once (events are not handed over).
void reveal_all(TWdPage& page);
// Glyphs remain to be revealed, or some fade, or events wait.
bool is_revealing(const TWdPage& page);

void save_reveal_state(const TWdPage& page, core::ByteWriter& w);
// Reads only `bytes`. Row and glyph indexes beyond the current layout are
// limited to its end and levels to 0..255; a layout that differs from the
// saved one takes the levels that fit, in order, and leaves the rest
// unrevealed. A variable's level goes to all its produced characters;
// revealed pictures animate again. A record cut short before its levels
// resets the page and raises core::Error.
void load_reveal_state(TWdPage& page, std::span<const std::uint8_t> bytes);

}  // namespace nova::text
