// TStack, one frame of the interpreter's call stack, and TStackList.
//
// A frame keeps where the interrupted or calling code stood: page name,
// position, started flag, continue flag, arguments and sender, the state of
// a started command, the name of the variable that receives the result of
// a call, and the called page's return value (what "@Result" reads).
// Pushing and popping set the variable store's call depth to the number of
// frames, which is the depth that local and auto-delete variables belong to.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "components/events.h"
#include "expr/param_collection.h"
#include "expr/params.h"

namespace nova::script {

// The interpreter refers to components only through these.
using components::ComponentDirectory;
using components::ComponentId;
using components::EventEntry;
using components::EventQueue;

struct TStack {
  std::string page;  // empty: the script had ended
  std::int32_t position = 0;
  bool started = false;
  std::string result_variable;  // empty: none
  std::vector<std::string> arguments;
  ComponentId sender;
  std::uint8_t continue_flag = 0;
  // The state a started command wrote (SaveState), or none.
  std::optional<std::string> saved_state;
  // A value of the called page's return type, or none.
  std::unique_ptr<expr::TCustomParam> return_value;
};

class TStackList {
 public:
  explicit TStackList(expr::TParamCollection& store) : m_store(store) {}

  void push(TStack frame);
  // Moves the top frame into the spare frame and answers it; an empty stack
  // raises "スタックエラー".
  TStack& pop();
  void clear();
  // Removes frame i (bottom first; the caller checks the range) and sets
  // the call depth.
  void remove_at(std::int32_t i);

  bool empty() const { return m_frames.empty(); }
  std::int32_t count() const { return static_cast<std::int32_t>(m_frames.size()); }
  // Bottom first.
  TStack& at(std::int32_t i) { return m_frames[static_cast<std::size_t>(i)]; }
  const TStack& at(std::int32_t i) const { return m_frames[static_cast<std::size_t>(i)]; }
  TStack& top() { return m_frames.back(); }
  const TStack& top() const { return m_frames.back(); }
  TStack& spare() { return m_spare; }
  const TStack& spare() const { return m_spare; }

  // Replaces everything (a loaded game); sets the call depth.
  void assign(TStack spare, std::vector<TStack> frames);

 private:
  expr::TParamCollection& m_store;
  std::vector<TStack> m_frames;
  TStack m_spare;
};

}  // namespace nova::script
