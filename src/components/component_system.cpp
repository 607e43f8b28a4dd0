#include "components/component_system.h"

#include <utility>

namespace nova::components {

TComponentSystem::TComponentSystem(ComponentSystemServices services)
    : m_step_trace(std::move(services.step_trace)), m_free_picture_cache(std::move(services.free_picture_cache)) {
  m_bases = std::make_unique<TNovaBaseList>(services.bases);
  m_history = std::make_unique<data::TNovaHistoryFormatManager>();
  m_bases->set_history(m_history.get());
  m_focus_pattern = std::make_unique<graphics::TDIBX>();
  m_transparency_pattern = std::make_unique<graphics::TDIBX>();
  draw_patterns(32);
}

TComponentSystem::~TComponentSystem() { Finalize(); }

void TComponentSystem::draw_patterns(int bit_count) {
  graphics::TDIBX& focus = *m_focus_pattern;
  focus.SetSize(2, 2, bit_count);
  const auto white = static_cast<std::uint32_t>(focus.ColorToPixel(0xFFFFFF));
  const auto black = static_cast<std::uint32_t>(focus.ColorToPixel(0x000000));
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 2; ++x) focus.SetPixel(x, y, x == y ? white : black);
  }
  graphics::TDIBX& trans = *m_transparency_pattern;
  trans.SetSize(32, 32, bit_count);
  trans.Fill(static_cast<std::uint32_t>(trans.ColorToPixel(0x808080)));
  const auto light = static_cast<std::uint32_t>(trans.ColorToPixel(0xC0C0C0));
  trans.FillRect({0, 0, 16, 16}, light);
  trans.FillRect({16, 16, 32, 32}, light);
}

void TComponentSystem::SetBitCount(int bit_count) {
  if (m_focus_pattern) draw_patterns(bit_count);
}

void TComponentSystem::Finalize() {
  if (!m_bases) return;
  trace("TextRead.Free");
  m_read_marks.reset();
  trace("TextHistoryFormats.Free");
  // The boxes still on the list record into the formats no more.
  m_bases->set_history(nullptr);
  m_history.reset();
  trace("Bases.Free");
  m_bases.reset();
  trace("SelRectDIB.Free");
  m_focus_pattern.reset();
  trace("TransBGDIB.Free");
  m_transparency_pattern.reset();
  trace("BrioMan.Free");
  if (m_free_picture_cache) m_free_picture_cache();
}

}  // namespace nova::components
