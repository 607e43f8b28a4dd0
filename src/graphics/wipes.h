// Screen transitions ("wipes"): TCustomWipe, the base every transition
// type derives from, and CreateTransition, the table-driven factory that
// makes one by its WP_ value.
//
// The families live beside this file: wipe_plain.h (fade, white, black,
// flash, scrolls, bamboo blinds, rubber bands, shrink and grow),
// wipe_mask.h (TWipeMask and the mask-driven types), wipe_screens.h
// (mosaic, spotlight, mask white and black, ripple, blur, twist, zoom) and
// wipe_crack.h (falling pieces).
//
// How a transition is driven, by whoever switches the screen (the bases'
// flip, a film's wipe track):
//   auto w = CreateTransition(type, {target, old, new}, services, duration);
//   (nullptr: no transition, the switch happens at once)
//   w->SetReverse(r); w->SetParam(0, p0); w->SetParam(1, p1);
//   w->SetMaskName(name);
//   w->Prepare();                       // "starting" the transition
//   every frame: w->SetElapsed(e); if (w->DrawStep()) { free it }
// The factory has already set the type's parameter defaults and the
// duration. A draw depends only on elapsed/duration (the twists leave rows
// that have not started as they were), so elapsed may jump back.
//
// Units: duration and elapsed are in the caller's unit (milliseconds for
// the flip, ticks for films); only their ratio matters. Elapsed below 0
// counts as 0; a duration of 0 (or below) finishes at once.
//
// Ownership: a transition borrows its three surfaces and its services; they
// must outlive it. The target must not be one of the two screens.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "graphics/dibx.h"

namespace nova::expr {
class StandardRandom;
}

namespace nova::graphics {

class PictureFiles;

// The transition types.
enum : int {
  WP_NONE = 0,
  WP_FADE = 1,
  WP_BLINDH = 2,
  WP_BLINDV = 3,
  WP_CURTAINH = 4,
  WP_CURTAINV = 5,
  WP_SCROLLH = 6,
  WP_SCROLLV = 7,
  WP_GRID = 8,
  WP_GRIDH = 9,
  WP_GRIDV = 10,
  WP_DITHER = 11,
  WP_WHITE = 12,
  WP_BLACK = 13,
  WP_FLASH = 14,
  WP_MOSAIC = 15,
  WP_SUDAREH = 16,
  WP_SUDAREV = 17,
  WP_SPOT = 18,
  WP_MASKFADE = 19,
  WP_MASKWHITE = 20,
  WP_MASKBLACK = 21,
  WP_SMALL = 22,
  WP_BIG = 23,
  WP_RIPPLE = 24,
  WP_BLURWHITE = 25,
  WP_BLURBLACK = 26,
  WP_TWISTH = 27,
  WP_TWISTV = 28,
  WP_CRACK = 29,
  WP_ZOOMIN = 30,
  WP_CLOCKHAND = 31,
  WP_RUBBERH = 32,
  WP_RUBBERV = 33,
  WP_FAN = 34,
  WP_WFAN = 35,
  WP_CIRCLE = 36,
  WP_BLOCKCOIL = 37,
  WP_BLOCKRANDOM = 38,
};
inline constexpr int kLastWipeType = WP_BLOCKRANDOM;

// The three surfaces of a transition, always in this order. The screens
// must have the target's size and bit count.
struct WipeSurfaces {
  TCustomDIBX* target = nullptr;
  const TCustomDIBX* old_screen = nullptr;
  const TCustomDIBX* new_screen = nullptr;
};

// The pixel values of the greys (g, g, g), g = 0..255, that the spotlight
// and the mask white and black types add or subtract: one table in the
// screen's 16-bit layout (5-5-5 when the screen depth is 15, else 5-6-5),
// used for 15- and 16-bit targets, and one in the 32-bit layout, used for
// every other target.
struct WipeGreyTables {
  std::array<std::uint32_t, 256> layout16{};
  std::array<std::uint32_t, 256> layout32{};
};
// The tables for a screen of this depth; the component system makes them
// where it sets up its colours.
WipeGreyTables make_wipe_grey_tables(int screen_depth);

// What some types need besides the surfaces. Borrowed; a type that needs a
// missing service raises core::Error naming it when it is started.
struct WipeServices {
  // Mask pictures (WP_MASKFADE, WP_MASKWHITE, WP_MASKBLACK); without it
  // every mask name is missing.
  const PictureFiles* files = nullptr;
  // The title's image key, for layered mask pictures.
  std::int32_t image_key = 0;
  // WP_SPOT, WP_MASKWHITE, WP_MASKBLACK.
  const WipeGreyTables* greys = nullptr;
  // The player's standard generator (WP_BLOCKRANDOM, WP_CRACK).
  expr::StandardRandom* random = nullptr;
};

class TCustomWipe {
 public:
  TCustomWipe(const WipeSurfaces& surfaces, const WipeServices& services);
  virtual ~TCustomWipe();
  TCustomWipe(const TCustomWipe&) = delete;
  TCustomWipe& operator=(const TCustomWipe&) = delete;

  // Mirrors the direction of the type (which side starts, which way a sweep
  // turns).
  virtual void SetReverse(bool reverse) { m_reverse = reverse; }
  bool Reverse() const { return m_reverse; }
  // Parameters 0 and 1 (other indexes are ignored and read as 0); a type
  // may raise a value to its minimum or react to it.
  virtual std::int32_t GetParam(int index) const;
  virtual void SetParam(int index, std::int32_t value);
  // The picture of the mask-picture types (Shift-JIS).
  virtual void SetMaskName(const std::string& name) { m_mask_name = name; }
  const std::string& MaskName() const { return m_mask_name; }

  void SetDuration(std::int32_t duration) { m_duration = duration; }
  std::int32_t Duration() const { return m_duration; }
  void SetElapsed(std::int32_t elapsed) { m_elapsed = elapsed; }
  std::int32_t Elapsed() const { return m_elapsed; }

  // Starts the transition once its parameters, reverse flag and mask name
  // are set: builds what the type needs before its first draw. Calling it
  // again starts it again from the settings as they then stand.
  void Prepare();
  bool IsPrepared() const { return m_prepared; }

  // Stores the target's bounds; answers true (drawing nothing) when elapsed
  // >= duration. Otherwise marks the bounds changed on the target
  // (IncludeClipRect) and paints the state at elapsed / duration. Raises
  // core::Error when the transition was never started.
  bool DrawStep();
  // The bounds stored by the last DrawStep (empty before the first).
  const Rect& Bounds() const { return m_bounds; }

 protected:
  virtual void OnPrepare() {}
  // Paints the state at e / d, 0 <= e < d.
  virtual void Draw(std::int64_t e, std::int64_t d) = 0;

  TCustomDIBX& target() const { return *m_target; }
  const TCustomDIBX& old_screen() const { return *m_old; }
  const TCustomDIBX& new_screen() const { return *m_new; }
  const WipeServices& services() const { return m_services; }
  int width() const { return m_width; }
  int height() const { return m_height; }
  Rect full() const { return {0, 0, m_width, m_height}; }

  std::int32_t m_param[2] = {0, 0};

 private:
  TCustomDIBX* m_target;
  const TCustomDIBX* m_old;
  const TCustomDIBX* m_new;
  WipeServices m_services;
  int m_width;
  int m_height;
  bool m_reverse = false;
  bool m_prepared = false;
  std::string m_mask_name;
  std::int32_t m_duration = 0;
  std::int32_t m_elapsed = 0;
  Rect m_bounds{};
};

// --- The factory --------------------------------------------------------------------

using WipeMaker = std::unique_ptr<TCustomWipe> (*)(const WipeSurfaces&, const WipeServices&);

// One row per transition type.
struct WipeTypeInfo {
  int value;
  const char* name;          // "WP_FADE"
  const char* display_utf8;  // the name the editor shows (UTF-8 here)
  const char* class_name;    // "TWipeFade"
  std::int32_t param0;
  std::int32_t param1;
  WipeMaker make;
};

// Every type, WP_FADE to WP_BLOCKRANDOM in order.
std::span<const WipeTypeInfo> wipe_types();
// The row of a type; nullptr for WP_NONE and unknown values.
const WipeTypeInfo* wipe_type_info(int type);
// The display name in Shift-JIS ("" for unknown values; WP_NONE has one).
std::string wipe_display_name(int type);

// Makes the transition of `type` over the surfaces, sets the type's
// parameter defaults and the duration, and returns it unstarted. Answers
// nullptr (no transition: the switch happens at once) for WP_NONE, unknown
// values, an empty target and a target of 8 bits (or fewer). Raises core::Error when a
// surface is missing or the screens differ from the target in size or bit
// count.
std::unique_ptr<TCustomWipe> CreateTransition(int type, const WipeSurfaces& surfaces, const WipeServices& services,
                                              std::int32_t duration);

}  // namespace nova::graphics
