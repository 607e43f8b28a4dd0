#include "platform/platform.h"

namespace nova::platform {

Platform::Platform() : m_main_thread(std::this_thread::get_id()) {}

Platform::~Platform() { shut_down_posting(); }

bool Platform::post_and_wait(std::function<void()> task) {
  if (std::this_thread::get_id() == m_main_thread) {
    // Waiting for itself would never end; the main thread is where the
    // task must run anyway.
    {
      std::lock_guard lock(m_post_mutex);
      if (m_posting_closed) return false;
    }
    task();
    return true;
  }
  Posted p;
  p.task = std::move(task);
  {
    std::unique_lock lock(m_post_mutex);
    if (m_posting_closed) return false;
    m_posted.push_back(&p);
  }
  wake();
  std::unique_lock lock(m_post_mutex);
  // Once the main thread has taken the task it runs to the end, closed or
  // not, because the task lives in this frame.
  m_post_cv.wait(lock, [&] { return p.done || (m_posting_closed && !p.taken); });
  if (!p.done) {
    std::erase(m_posted, &p);
    return false;
  }
  return true;
}

int Platform::run_posted_tasks() {
  int count = 0;
  for (;;) {
    Posted* p = nullptr;
    {
      std::lock_guard lock(m_post_mutex);
      if (m_posted.empty()) break;
      p = m_posted.front();
      m_posted.pop_front();
      p->taken = true;
    }
    p->task();
    {
      std::lock_guard lock(m_post_mutex);
      p->done = true;
    }
    m_post_cv.notify_all();
    ++count;
  }
  return count;
}

void Platform::shut_down_posting() {
  {
    std::lock_guard lock(m_post_mutex);
    m_posting_closed = true;
  }
  m_post_cv.notify_all();
}

}  // namespace nova::platform
