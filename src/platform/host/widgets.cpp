#include "platform/widgets.h"

#include <algorithm>
#include <cmath>

#include "platform/codepage.h"
#include "platform/keys.h"
#include "platform/platform.h"
#include "platform/window.h"

namespace nova::platform {
namespace {

constexpr std::uint32_t kFace = 0xF0F0F0;  // dialog and tool-bar background
constexpr std::uint32_t kText = 0x000000;
constexpr std::uint32_t kGrayText = 0x6D6D6D;
constexpr std::uint32_t kBorder = 0xADADAD;
constexpr std::uint32_t kButton = 0xE1E1E1;
constexpr std::uint32_t kHot = 0xE5F1FB;
constexpr std::uint32_t kHotBorder = 0x0078D7;
constexpr std::uint32_t kPressed = 0xCCE4F7;
constexpr std::uint32_t kPressedBorder = 0x005499;

// The four message icons, drawn as shapes: a yellow triangle with "!", and
// circles (blue "i", blue "?", red "×").
void draw_icon(Canvas& c, int x0, int y0, MessageIcon kind) {
  if (kind == MessageIcon::None) return;
  const bool triangle = kind == MessageIcon::Warning;
  const std::uint32_t fill = triangle ? 0xF8C800 : (kind == MessageIcon::Error ? 0xD83030 : 0x2A72C8);
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      const double dx = x + 0.5 - 16, dy = y + 0.5 - 16;
      bool inside = triangle ? (y >= 2 && y < 30 && std::abs(dx) <= (y - 2) * 0.55) : dx * dx + dy * dy <= 15.5 * 15.5;
      if (inside) c.blend_pixel(x0 + x, y0 + y, fill, 255);
    }
  }
  const std::uint32_t mark = triangle ? 0x000000 : 0xFFFFFF;
  auto bar = [&](int x, int y, int w, int h) { c.fill(Rect::from_size(x0 + x, y0 + y, w, h), mark); };
  switch (kind) {
    case MessageIcon::Warning:
      bar(15, 10, 3, 11);
      bar(15, 23, 3, 3);
      break;
    case MessageIcon::Information:
      bar(14, 7, 4, 4);
      bar(14, 13, 4, 13);
      break;
    case MessageIcon::Question:
      bar(11, 7, 10, 3);
      bar(19, 9, 3, 6);
      bar(14, 14, 7, 3);
      bar(14, 16, 3, 5);
      bar(14, 23, 3, 3);
      break;
    case MessageIcon::Error:
      for (int k = 0; k < 14; ++k) {
        bar(9 + k, 9 + k, 2, 2);
        bar(21 - k, 9 + k, 2, 2);
      }
      break;
    case MessageIcon::None: break;
  }
}

std::uint16_t code_at(std::string_view s, std::size_t i, std::size_t n) {
  return n == 2 ? static_cast<std::uint16_t>(static_cast<std::uint8_t>(s[i]) << 8 | static_cast<std::uint8_t>(s[i + 1]))
                : static_cast<std::uint8_t>(s[i]);
}

// Where the last character of a Shift-JIS text starts: only a walk from the
// front can tell a trail byte from a single-byte character.
std::size_t last_char_start(std::string_view sjis) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < sjis.size(); i += codepage::char_length(sjis, i)) start = i;
  return start;
}

}  // namespace

std::vector<std::string> caption_lines(std::string_view s) {
  std::vector<std::string> lines(1);
  for (std::size_t i = 0; i < s.size();) {
    std::size_t n = codepage::char_length(s, i);
    if (n == 1 && s[i] == '\n') {
      lines.emplace_back();
    } else if (!(n == 1 && s[i] == '\r')) {
      lines.back().append(s.substr(i, n));
    }
    i += n;
  }
  return lines;
}

std::string ui_face_name() {
  static const std::string face = codepage::from_utf8("ＭＳ Ｐゴシック").value_or("MS PGothic");
  return face;
}

// ---------------------------------------------------------------------------

void Canvas::resize(int width, int height) {
  m_width = std::max(0, width);
  m_height = std::max(0, height);
  m_pixels.assign(static_cast<std::size_t>(m_width) * static_cast<std::size_t>(m_height), 0);
}

void Canvas::fill(Rect r, std::uint32_t rgb) {
  r = r.intersected(Rect{0, 0, m_width, m_height});
  for (int y = r.top; y < r.bottom; ++y) {
    std::fill(m_pixels.begin() + y * m_width + r.left, m_pixels.begin() + y * m_width + r.right, rgb);
  }
}

void Canvas::frame(Rect r, std::uint32_t rgb) {
  if (r.empty()) return;
  fill({r.left, r.top, r.right, r.top + 1}, rgb);
  fill({r.left, r.bottom - 1, r.right, r.bottom}, rgb);
  fill({r.left, r.top, r.left + 1, r.bottom}, rgb);
  fill({r.right - 1, r.top, r.right, r.bottom}, rgb);
}

void Canvas::focus_frame(Rect r, std::uint32_t rgb) {
  if (r.empty()) return;
  for (int x = r.left; x < r.right; x += 2) {
    blend_pixel(x, r.top, rgb, 255);
    blend_pixel(x, r.bottom - 1, rgb, 255);
  }
  for (int y = r.top; y < r.bottom; y += 2) {
    blend_pixel(r.left, y, rgb, 255);
    blend_pixel(r.right - 1, y, rgb, 255);
  }
}

void Canvas::blend_pixel(int x, int y, std::uint32_t rgb, int alpha) {
  if (x < 0 || y < 0 || x >= m_width || y >= m_height || alpha <= 0) return;
  std::uint32_t& d = m_pixels[static_cast<std::size_t>(y * m_width + x)];
  if (alpha >= 255) {
    d = rgb;
    return;
  }
  auto mix = [&](int shift) {
    int s = static_cast<int>((rgb >> shift) & 0xFF), t = static_cast<int>((d >> shift) & 0xFF);
    return static_cast<std::uint32_t>((s * alpha + t * (255 - alpha) + 127) / 255) << shift;
  };
  d = mix(16) | mix(8) | mix(0);
}

// ---------------------------------------------------------------------------

UiText::UiText(FontService& fonts, std::string_view face, int height) : m_height(height) {
  FontRequest r;
  r.face = std::string(face);
  r.height = height;
  m_font = fonts.create_font(r);
}

UiText::Caption UiText::parse_caption(std::string_view s) {
  Caption c;
  for (std::size_t i = 0; i < s.size();) {
    std::size_t n = codepage::char_length(s, i);
    if (n == 1 && s[i] == '&' && i + 1 < s.size()) {
      if (s[i + 1] == '&') {
        c.text.push_back('&');
        i += 2;
        continue;
      }
      if (c.accelerator < 0) {
        c.accelerator = static_cast<int>(c.text.size());
        char k = s[i + 1];
        if (k >= 'a' && k <= 'z') k = static_cast<char>(k - 32);
        if ((k >= 'A' && k <= 'Z') || (k >= '0' && k <= '9')) c.key = k;
      }
      ++i;
      continue;
    }
    c.text.append(s.substr(i, n));
    i += n;
  }
  return c;
}

int UiText::width(std::string_view sjis) { return m_font ? m_font->text_width(sjis) : 0; }

int UiText::ascent() const { return m_font ? m_font->metrics().ascent : m_height; }

void UiText::draw(Canvas& canvas, int x, int y, std::string_view s, std::uint32_t rgb, int underline_at) {
  if (!m_font) return;
  const int baseline = y + m_font->metrics().ascent;
  for (std::size_t i = 0; i < s.size();) {
    std::size_t n = codepage::char_length(s, i);
    const GlyphBitmap g = m_font->glyph(code_at(s, i, n), GlyphFormat::Gray8);
    if (g.status != GlyphStatus::Rendered) {
      i += n;
      continue;
    }
    const GlyphMetrics& m = g.metrics;
    for (int gy = 0; gy < m.black_box_y && !g.data.empty(); ++gy) {
      for (int gx = 0; gx < m.black_box_x; ++gx) {
        int level = g.data[static_cast<std::size_t>(gy * g.pitch + gx)];
        canvas.blend_pixel(x + m.origin_x + gx, baseline - m.origin_y + gy, rgb, level * 255 / 64);
      }
    }
    if (static_cast<int>(i) == underline_at) canvas.fill({x, baseline + 1, x + m.cell_inc_x, baseline + 2}, rgb);
    x += m.cell_inc_x;
    i += n;
  }
}

// ---------------------------------------------------------------------------

ToolBar::ToolBar(FontService& fonts, std::vector<std::string> captions, int button_width, int button_height)
    : m_text(fonts, ui_face_name(), 12),
      m_captions(std::move(captions)),
      m_button_width(button_width),
      m_button_height(button_height) {}

Rect ToolBar::button_rect(int index) const {
  return Rect::from_size(2 + index * m_button_width, 2, m_button_width, m_button_height);
}

int ToolBar::handle(const Event& e) {
  auto hit = [&](int x, int y) {
    for (int i = 0; i < button_count(); ++i) {
      if (button_rect(i).contains({x, y})) return i;
    }
    return -1;
  };
  int clicked = -1;
  switch (e.type) {
    case EventType::MouseMove: {
      int h = hit(e.x, e.y);
      if (h != m_hover) {
        m_hover = h;
        m_dirty = true;
      }
      break;
    }
    case EventType::MouseDown:
      if (e.button == MouseButton::Left) {
        m_pressed = hit(e.x, e.y);
        m_dirty = true;
      }
      break;
    case EventType::MouseUp:
      if (e.button == MouseButton::Left && m_pressed >= 0) {
        if (hit(e.x, e.y) == m_pressed) clicked = m_pressed;
        m_pressed = -1;
        m_dirty = true;
      }
      break;
    default: break;
  }
  return clicked;
}

const Canvas& ToolBar::draw(int width) {
  if (m_canvas.width() != width || m_canvas.height() != dock_height()) {
    m_canvas.resize(width, dock_height());
    m_dirty = true;
  }
  if (!m_dirty) return m_canvas;
  m_canvas.fill({0, 0, width, dock_height()}, kFace);
  for (int i = 0; i < button_count(); ++i) {
    Rect r = button_rect(i);
    if (i == m_pressed) {
      m_canvas.fill(r, kPressed);
      m_canvas.frame(r, kPressedBorder);
    } else if (i == m_hover) {
      m_canvas.fill(r, kHot);
      m_canvas.frame(r, kHotBorder);
    }
    const std::string& c = m_captions[static_cast<std::size_t>(i)];
    int tw = m_text.width(c);
    m_text.draw(m_canvas, r.left + (r.width() - tw) / 2, r.top + (r.height() - m_text.height()) / 2, c, kText);
  }
  m_dirty = false;
  return m_canvas;
}

// ---------------------------------------------------------------------------

Form::Form(FontService& fonts, Size client) : m_text(fonts, ui_face_name(), 12), m_client(client) {
  m_canvas.resize(client.width, client.height);
}

int Form::add(Control c) {
  m_controls.push_back(std::move(c));
  int index = static_cast<int>(m_controls.size()) - 1;
  if (m_focus < 0 && focusable(index)) m_focus = index;
  m_dirty = true;
  return index;
}

int Form::find(std::string_view name) const {
  for (std::size_t i = 0; i < m_controls.size(); ++i) {
    if (m_controls[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

void Form::set_focus(int index) {
  if (index >= 0 && focusable(index) && index != m_focus) {
    m_focus = index;
    m_dirty = true;
  }
}

bool Form::focusable(int i) const {
  if (i < 0 || i >= static_cast<int>(m_controls.size())) return false;
  const Control& c = control(i);
  return c.enabled && c.kind != ControlKind::Label;
}

void Form::move_focus(int step) {
  const int n = static_cast<int>(m_controls.size());
  if (n == 0) return;
  int i = m_focus < 0 ? (step > 0 ? -1 : 0) : m_focus;
  for (int k = 0; k < n; ++k) {
    i = (i + step + n) % n;
    if (focusable(i)) {
      set_focus(i);
      return;
    }
  }
}

void Form::press(int i, std::vector<Action>& out) {
  if (!focusable(i)) return;
  Control& c = control(i);
  if (c.kind == ControlKind::CheckBox) {
    c.checked = !c.checked;
    m_dirty = true;
    out.push_back({Action::Kind::Clicked, i});
  } else if (c.kind == ControlKind::Button) {
    out.push_back({Action::Kind::Clicked, i});
  }
}

void Form::set_track(int i, int position, std::vector<Action>& out) {
  Control& c = control(i);
  position = std::clamp(position, c.min, c.max);
  if (position == c.position) return;
  c.position = position;
  m_dirty = true;
  out.push_back({Action::Kind::Changed, i});
}

Rect Form::track_channel(const Control& c) const {
  return {c.bounds.left + 8, c.bounds.top + 8, c.bounds.right - 8, c.bounds.top + 12};
}

Rect Form::track_thumb(const Control& c) const {
  Rect ch = track_channel(c);
  int span = std::max(1, c.max - c.min);
  int x = ch.left + (c.position - c.min) * ch.width() / span;
  return {x - 5, c.bounds.top + 1, x + 6, c.bounds.top + 20};
}

int Form::track_position_at(const Control& c, int x) const {
  Rect ch = track_channel(c);
  int span = std::max(1, c.max - c.min);
  if (ch.width() <= 0) return c.min;
  // The nearest step to the pointer.
  int rel = std::clamp(x - ch.left, 0, ch.width());
  return c.min + (rel * span + ch.width() / 2) / ch.width();
}

int Form::hit(Point p) const {
  for (int i = static_cast<int>(m_controls.size()) - 1; i >= 0; --i) {
    if (control(i).bounds.contains(p)) return i;
  }
  return -1;
}

std::vector<Form::Action> Form::handle(const Event& e) {
  std::vector<Action> out;
  switch (e.type) {
    case EventType::KeyDown: {
      const bool shift = (e.modifiers & modifier::Shift) != 0;
      if (e.key == vk::TAB) {
        move_focus(shift ? -1 : 1);
        break;
      }
      if (e.key == vk::RETURN) {
        int target = -1;
        if (m_focus >= 0 && control(m_focus).kind == ControlKind::Button) target = m_focus;
        for (int i = 0; target < 0 && i < static_cast<int>(m_controls.size()); ++i) {
          if (control(i).kind == ControlKind::Button && control(i).is_default) target = i;
        }
        if (target >= 0) press(target, out);
        break;
      }
      if (e.key == vk::ESCAPE) {
        for (int i = 0; i < static_cast<int>(m_controls.size()); ++i) {
          if (control(i).kind == ControlKind::Button && control(i).is_cancel) {
            press(i, out);
            break;
          }
        }
        break;
      }
      if (m_focus >= 0 && control(m_focus).kind == ControlKind::Edit) {
        Control& c = control(m_focus);
        if (e.key == vk::BACK && !c.caption.empty()) {
          c.caption.resize(last_char_start(c.caption));
          m_dirty = true;
          out.push_back({Action::Kind::Changed, m_focus});
          break;
        }
        // Letters, digits and the space bar are typing here (they arrive
        // again as text); only Alt reaches the accelerators.
        if ((e.modifiers & modifier::Alt) == 0) break;
      }
      if (m_focus >= 0 && control(m_focus).kind == ControlKind::TrackBar) {
        Control& c = control(m_focus);
        int pos = c.position;
        switch (e.key) {
          case vk::LEFT:
          case vk::UP: pos -= 1; break;
          case vk::RIGHT:
          case vk::DOWN: pos += 1; break;
          case vk::PRIOR: pos -= c.page_size; break;
          case vk::NEXT: pos += c.page_size; break;
          case vk::HOME: pos = c.min; break;
          case vk::END: pos = c.max; break;
          default: break;
        }
        if (pos != c.position) {
          set_track(m_focus, pos, out);
          break;
        }
      }
      if (e.key == vk::SPACE && m_focus >= 0) {
        press(m_focus, out);
        break;
      }
      if ((e.key >= vk::KEY_A && e.key <= vk::KEY_A + 25) || (e.key >= vk::KEY_0 && e.key <= vk::KEY_0 + 9)) {
        const char key = static_cast<char>(e.key);
        for (int i = 0; i < static_cast<int>(m_controls.size()); ++i) {
          const Control& c = control(i);
          if (c.kind == ControlKind::Edit || UiText::parse_caption(c.caption).key != key) continue;
          if (c.kind == ControlKind::Label) {
            set_focus(c.focus_control);
          } else if (focusable(i)) {
            set_focus(i);
            press(i, out);
          }
          break;
        }
      }
      break;
    }
    case EventType::MouseDown: {
      if (e.button != MouseButton::Left) break;
      int i = hit({e.x, e.y});
      if (!focusable(i)) break;
      set_focus(i);
      Control& c = control(i);
      if (c.kind == ControlKind::TrackBar) {
        Rect thumb = track_thumb(c);
        if (thumb.contains({e.x, e.y})) {
          m_dragging = i;
        } else {
          // A click beside the thumb moves it by a page towards the pointer.
          int step = e.x < thumb.left ? -c.page_size : c.page_size;
          set_track(i, c.position + step, out);
        }
      } else {
        m_pressed = i;
        m_dirty = true;
      }
      break;
    }
    case EventType::TextInput:
      if (m_focus >= 0 && control(m_focus).kind == ControlKind::Edit && !e.text.empty()) {
        Control& c = control(m_focus);
        // Control characters never become part of the text (a pasted line
        // break, a tab); the field holds one line.
        for (std::size_t i = 0; i < e.text.size();) {
          const std::size_t n = codepage::char_length(e.text, i);
          if (n > 1 || static_cast<unsigned char>(e.text[i]) >= 0x20) c.caption.append(e.text, i, n);
          i += n;
        }
        m_dirty = true;
        out.push_back({Action::Kind::Changed, m_focus});
      }
      break;
    case EventType::MouseMove:
      if (m_dragging >= 0) set_track(m_dragging, track_position_at(control(m_dragging), e.x), out);
      break;
    case EventType::MouseUp:
      if (e.button != MouseButton::Left) break;
      if (m_dragging >= 0) {
        m_dragging = -1;
      } else if (m_pressed >= 0) {
        int i = m_pressed;
        m_pressed = -1;
        m_dirty = true;
        if (hit({e.x, e.y}) == i) press(i, out);
      }
      break;
    default: break;
  }
  return out;
}

const Canvas& Form::draw() {
  if (!m_dirty) return m_canvas;
  m_canvas.fill({0, 0, m_client.width, m_client.height}, kFace);
  // A control that was disabled while it had the focus shows no focus mark.
  const int shown_focus = focusable(m_focus) ? m_focus : -1;
  for (int i = 0; i < static_cast<int>(m_controls.size()); ++i) {
    const Control& c = control(i);
    const std::uint32_t text_color = c.enabled ? kText : kGrayText;
    UiText::Caption cap = UiText::parse_caption(c.caption);
    const Rect& b = c.bounds;
    const int ty = b.top + (b.height() - m_text.height()) / 2;
    switch (c.kind) {
      case ControlKind::Label: {
        int y = b.top;
        int accelerator = cap.accelerator;
        for (const std::string& line : caption_lines(cap.text)) {
          int tw = m_text.width(line);
          int x = c.align == TextAlign::Right    ? b.right - tw
                  : c.align == TextAlign::Center ? b.left + (b.width() - tw) / 2
                                                 : b.left;
          m_text.draw(m_canvas, x, y, line, text_color, accelerator);
          accelerator -= static_cast<int>(line.size()) + 1;
          y += m_text.height() + 2;
        }
        break;
      }
      case ControlKind::Icon: draw_icon(m_canvas, b.left, b.top, c.icon); break;
      case ControlKind::CheckBox: {
        Rect box = Rect::from_size(b.left, b.top + (b.height() - 13) / 2, 13, 13);
        m_canvas.fill(box, i == m_pressed ? kPressed : 0xFFFFFF);
        m_canvas.frame(box, c.enabled ? 0x333333 : 0xBCBCBC);
        if (c.checked) {
          // A check mark: a short stroke down, then a long one up.
          const std::uint32_t mark = c.enabled ? 0x000000 : 0x8F8F8F;
          for (int k = 0; k < 3; ++k) {
            m_canvas.fill(Rect::from_size(box.left + 3 + k, box.top + 5 + k, 1, 3), mark);
          }
          for (int k = 0; k < 4; ++k) {
            m_canvas.fill(Rect::from_size(box.left + 6 + k, box.top + 6 - k, 1, 3), mark);
          }
        }
        m_text.draw(m_canvas, b.left + 17, ty, cap.text, text_color, cap.accelerator);
        if (i == shown_focus)
          m_canvas.focus_frame({b.left + 15, ty - 1, b.left + 19 + m_text.width(cap.text), ty + m_text.height() + 1},
                               0x000000);
        break;
      }
      case ControlKind::TrackBar: {
        Rect ch = track_channel(c);
        m_canvas.fill(ch, c.enabled ? 0xE7EAEA : 0xF0F0F0);
        m_canvas.frame(ch, 0xD6D6D6);
        int span = std::max(1, c.max - c.min);
        for (int v = c.min; v <= c.max; ++v) {
          int x = ch.left + (v - c.min) * ch.width() / span;
          m_canvas.fill(Rect::from_size(x, b.top + 23, 1, 4), c.enabled ? 0x000000 : kGrayText);
        }
        Rect th = track_thumb(c);
        m_canvas.fill(th, c.enabled ? (m_dragging == i ? kPressed : 0x007AD9) : 0xCCCCCC);
        if (i == shown_focus) m_canvas.focus_frame(b, 0x000000);
        break;
      }
      case ControlKind::Edit: {
        m_canvas.fill(b, c.enabled ? 0xFFFFFF : 0xF0F0F0);
        m_canvas.frame(b, i == shown_focus ? kHotBorder : kBorder);
        // The end of a long text stays in view, where typing happens.
        std::string_view shown = c.caption;
        const int room = b.width() - 8;
        while (!shown.empty() && m_text.width(shown) > room) {
          shown.remove_prefix(codepage::char_length(shown, 0));
        }
        m_text.draw(m_canvas, b.left + 4, ty, shown, text_color);
        if (i == shown_focus) {
          const int caret = std::min(b.left + 4 + m_text.width(shown), b.right - 3);
          m_canvas.fill({caret, ty, caret + 1, ty + m_text.height()}, kText);
        }
        break;
      }
      case ControlKind::Button: {
        m_canvas.fill(b, i == m_pressed ? kPressed : kButton);
        m_canvas.frame(b, c.is_default || i == shown_focus ? kHotBorder : kBorder);
        int tw = m_text.width(cap.text);
        m_text.draw(m_canvas, b.left + (b.width() - tw) / 2, ty, cap.text, text_color, cap.accelerator);
        if (i == shown_focus) m_canvas.focus_frame({b.left + 3, b.top + 3, b.right - 3, b.bottom - 3}, 0x000000);
        break;
      }
    }
  }
  m_dirty = false;
  return m_canvas;
}

std::unique_ptr<Window> open_dialog_window(Platform& platform, const std::string& sjis_caption, Size client,
                                           const Window* owner) {
  WindowSpec ws;
  ws.caption = sjis_caption;
  ws.client_size = client;
  auto window = platform.create_window(ws);
  Rect area = platform.work_area();
  if (owner) {
    const Point op = owner->position();
    const Size os = owner->client_size();
    area = Rect::from_size(op.x, op.y, os.width, os.height);
  }
  window->set_position({area.left + (area.width() - client.width) / 2, area.top + (area.height() - client.height) / 2});
  return window;
}

void present_canvas(Window& window, const Canvas& c) {
  const Rect all{0, 0, c.width(), c.height()};
  window.draw_pixels(c.view(), all, all);
  window.present({});
}

}  // namespace nova::platform
