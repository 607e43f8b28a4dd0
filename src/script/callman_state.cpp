// The saved interpreter state, as a game save holds it:
//
//   current page (string, empty: none), position (int32), continue flag
//   (byte), started (byte), state (int32), sender's name (string, empty:
//   none or gone), arguments (int32 count, strings), the spare frame, the
//   frame count (int32) and the frames from the bottom, EventLevel (int32,
//   from save version 116), and when started inside the page the state of
//   the command at the position, written by the command itself.
//
//   frame: page (string), position (int32), started (byte), continue flag
//   (byte), result variable (string), arguments (int32 count, strings),
//   sender's name (string), saved command state (int32 size, bytes), return
//   value type (byte, 0: none) and, when not 0, the value record.
#include "core/error.h"
#include "script/callman.h"

namespace nova::script {
namespace {

// The smallest frame record: three empty strings, the argument count, the
// position, two flags, the state size and the type byte.
constexpr std::size_t kMinFrameBytes = 4 + 4 + 1 + 1 + 4 + 4 + 4 + 4 + 1;

void write_strings(core::ByteWriter& w, const std::vector<std::string>& list) {
  w.i32(static_cast<std::int32_t>(list.size()));
  for (const std::string& s : list) w.str(s);
}

std::vector<std::string> read_strings(core::ByteReader& r) {
  const std::int32_t n = r.i32();
  if (n < 0 || static_cast<std::size_t>(n) > r.remaining() / 4) r.fail("argument count out of range");
  std::vector<std::string> list;
  list.reserve(static_cast<std::size_t>(n));
  for (std::int32_t i = 0; i < n; ++i) list.push_back(r.str());
  return list;
}

std::string sender_name(const ComponentDirectory* names, ComponentId id) {
  if (!names || !id) return {};
  return names->name_of(id).value_or(std::string());
}

ComponentId find_sender(const ComponentDirectory* names, const std::string& name) {
  if (!names || name.empty()) return {};
  return names->find(name);
}

void write_frame(core::ByteWriter& w, const TStack& f, const ComponentDirectory* names) {
  w.str(f.page);
  w.i32(f.position);
  w.u8(f.started ? 1 : 0);
  w.u8(f.continue_flag);
  w.str(f.result_variable);
  write_strings(w, f.arguments);
  w.str(sender_name(names, f.sender));
  w.str(f.saved_state.value_or(std::string()));
  // A reference value (a page returning PT_NONE) holds nothing to keep.
  if (!f.return_value || f.return_value->as_reference()) {
    w.u8(0);
  } else {
    w.u8(f.return_value->type());
    f.return_value->save(w);
  }
}

TStack read_frame(core::ByteReader& r, const ComponentDirectory* names) {
  TStack f;
  f.page = r.str();
  f.position = r.i32();
  f.started = r.u8() != 0;
  f.continue_flag = r.u8();
  f.result_variable = r.str();
  f.arguments = read_strings(r);
  f.sender = find_sender(names, r.str());
  std::string state = r.str();
  if (!state.empty()) f.saved_state = std::move(state);
  const std::uint8_t type = r.u8();
  if (type != 0) {
    if (!expr::is_value_type(type)) r.fail("return value type out of range");
    f.return_value = expr::make_value(type);
    f.return_value->load(r);
  }
  return f;
}

}  // namespace

void TCallMan::SaveState(core::ByteWriter& w) const {
  w.str(m_current ? m_current->name() : std::string());
  w.i32(m_position);
  w.u8(m_continue);
  w.u8(m_started ? 1 : 0);
  w.i32(m_state);
  w.str(sender_name(m_directory, m_sender));
  write_strings(w, m_arguments);
  write_frame(w, m_stack.spare(), m_directory);
  w.i32(m_stack.count());
  for (std::int32_t i = 0; i < m_stack.count(); ++i) write_frame(w, m_stack.at(i), m_directory);
  w.i32(m_event_level);
  if (m_started && Inside()) m_current->command(m_position).SaveState(w);
}

void TCallMan::LoadState(core::ByteReader& r, std::int32_t save_version) {
  // Everything is read before anything changes, except the command's own
  // state, which follows the page it belongs to.
  std::string page = r.str();
  const std::int32_t position = r.i32();
  const std::uint8_t continue_flag = r.u8();
  const bool started = r.u8() != 0;
  const std::int32_t state = r.i32();
  if (state < 0 || state > 3) r.fail("interpreter state out of range");
  const ComponentId sender = find_sender(m_directory, r.str());
  std::vector<std::string> arguments = read_strings(r);
  TStack spare = read_frame(r, m_directory);
  const std::int32_t count = r.i32();
  if (count < 0 || static_cast<std::size_t>(count) > r.remaining() / kMinFrameBytes) r.fail("frame count out of range");
  std::vector<TStack> frames;
  frames.reserve(static_cast<std::size_t>(count));
  for (std::int32_t i = 0; i < count; ++i) frames.push_back(read_frame(r, m_directory));
  const std::int32_t event_level = save_version >= kEventLevelSaveVersion ? r.i32() : 2;

  TPage* current = page.empty() ? nullptr : &LoadPage(page, true);
  m_current = current;
  m_position = position;
  m_continue = continue_flag;
  m_started = started;
  m_state = state;
  m_sender = sender;
  m_arguments = std::move(arguments);
  m_stack.assign(std::move(spare), std::move(frames));
  m_event_level = event_level;
  m_traced_position = -1;
  if (m_started && Inside()) m_current->command(m_position).LoadState(r);
}

}  // namespace nova::script
