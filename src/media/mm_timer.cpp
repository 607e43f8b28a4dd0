#include "media/mm_timer.h"

namespace nova::media {

TMMTimer::TMMTimer(const TimerFactory& make, std::uint32_t interval_ms, std::function<void()> callback)
    : m_interval(interval_ms), m_callback(std::move(callback)) {
  m_timer = make(interval_ms, [this] { fire(); });
}

TMMTimer::~TMMTimer() {
  if (m_timer) m_timer->stop();
}

void TMMTimer::fire() {
  std::lock_guard lock(m_mutex);
  if (!m_enabled.load()) return;
  m_callbacks.fetch_add(1);
  m_callback();
}

}  // namespace nova::media
