#include "platform/platform.h"

#include <signal.h>
#include <unistd.h>

namespace nova::platform {
namespace {

// Signals are the process's, so their count is too; each platform keeps how
// many it has delivered.
std::atomic<int> g_quit_signals{0};

void on_quit_signal(int signal_number) {
  if (g_quit_signals.fetch_add(1) > 0) ::_exit(128 + signal_number);
}

}  // namespace

void handle_quit_signals() {
  struct sigaction action {};
  action.sa_handler = on_quit_signal;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

bool Platform::take_quit() {
  if (m_quit_requeued.exchange(false)) return true;
  const int signals = g_quit_signals.load();
  if (signals > m_quit_signals_seen) {
    m_quit_signals_seen = signals;
    return true;
  }
  return false;
}

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
