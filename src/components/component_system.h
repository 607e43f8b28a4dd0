// TComponentSystem: the component system of the player. It owns the main
// base list (no owner: it composes into the display surface it is given),
// the message-history formats its message boxes record into, and the two
// pattern surfaces components draw with, and keeps a place for the read
// marks.
//
// Made at the component system's start-up step, freed at its finalisation,
// which reports these steps in order: "TextRead.Free",
// "TextHistoryFormats.Free", "Bases.Free", "SelRectDIB.Free",
// "TransBGDIB.Free", "BrioMan.Free". The picture cache is not owned here
// (the title services own it); the system only calls `free_picture_cache`
// at its step.
#pragma once

#include <functional>
#include <memory>
#include <string_view>

#include "components/base_list.h"
#include "data/history_format.h"
#include "graphics/memory_dibx.h"

namespace nova::components {

// Something of a later part of the component system that the system keeps
// until its finalisation step (the read marks, the history formats).
class SystemPart {
 public:
  virtual ~SystemPart() = default;
};

struct ComponentSystemServices {
  BaseListServices bases;
  // Receives the finalisation steps; may be empty.
  std::function<void(std::string_view)> step_trace;
  // Frees the picture cache at "BrioMan.Free"; may be empty.
  std::function<void()> free_picture_cache;
};

class TComponentSystem {
 public:
  explicit TComponentSystem(ComponentSystemServices services);
  // Finalize, unless it ran already.
  ~TComponentSystem();
  TComponentSystem(const TComponentSystem&) = delete;
  TComponentSystem& operator=(const TComponentSystem&) = delete;

  // The main list; valid until Finalize.
  TNovaBaseList& bases() const { return *m_bases; }
  bool finalized() const { return !m_bases; }

  // The focus frame's pattern: 2 × 2, white at (0, 0) and (1, 1), black
  // elsewhere. The transparency pattern: 32 × 32, 0x808080 with 0xC0C0C0
  // squares of 16 × 16 at (0, 0) and (16, 16). Both 32-bit until
  // SetBitCount; nullptr after Finalize.
  const graphics::TDIBX* focus_pattern() const { return m_focus_pattern.get(); }
  const graphics::TDIBX* transparency_pattern() const { return m_transparency_pattern.get(); }
  // Redraws both patterns at another bit depth (the display's).
  void SetBitCount(int bit_count);

  void set_read_marks(std::unique_ptr<SystemPart> part) { m_read_marks = std::move(part); }
  SystemPart* read_marks() const { return m_read_marks.get(); }
  // The history formats, made after the main list and given to it; valid
  // until Finalize.
  data::TNovaHistoryFormatManager& history() const { return *m_history; }

  // Frees everything in the order of the steps above.
  void Finalize();

 private:
  void draw_patterns(int bit_count);
  void trace(std::string_view step) const {
    if (m_step_trace) m_step_trace(step);
  }

  std::function<void(std::string_view)> m_step_trace;
  std::function<void()> m_free_picture_cache;
  std::unique_ptr<SystemPart> m_read_marks;
  std::unique_ptr<data::TNovaHistoryFormatManager> m_history;
  std::unique_ptr<TNovaBaseList> m_bases;
  std::unique_ptr<graphics::TDIBX> m_focus_pattern;
  std::unique_ptr<graphics::TDIBX> m_transparency_pattern;
};

}  // namespace nova::components
