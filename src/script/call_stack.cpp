#include "script/call_stack.h"

#include "core/error.h"

namespace nova::script {

void TStackList::push(TStack frame) {
  m_frames.push_back(std::move(frame));
  m_store.set_call_depth(count());
}

TStack& TStackList::pop() {
  if (m_frames.empty()) core::throw_error_utf8("スタックエラー");
  m_spare = std::move(m_frames.back());
  m_frames.pop_back();
  m_store.set_call_depth(count());
  return m_spare;
}

void TStackList::remove_at(std::int32_t i) {
  m_frames.erase(m_frames.begin() + i);
  m_store.set_call_depth(count());
}

void TStackList::clear() {
  m_frames.clear();
  m_store.set_call_depth(0);
}

void TStackList::assign(TStack spare, std::vector<TStack> frames) {
  m_spare = std::move(spare);
  m_frames = std::move(frames);
  m_store.set_call_depth(count());
}

}  // namespace nova::script
