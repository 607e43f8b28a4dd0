#include "script/expression.h"

#include "script/callman.h"

namespace nova::script {

TExpression::TExpression(const TExpression& other) : m_stream(other.m_stream) { m_parser.assign(other.m_parser); }

TExpression& TExpression::operator=(const TExpression& other) {
  if (this != &other) {
    m_stream = other.m_stream;
    m_parser.assign(other.m_parser);
  }
  return *this;
}

void TExpression::load(core::ByteReader& r) {
  const std::size_t start = r.position();
  try {
    m_parser.load(r);
  } catch (...) {
    m_stream.assign(4, '\0');
    throw;
  }
  auto bytes = r.data().subspan(start, r.position() - start);
  m_stream.assign(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

void TExpression::save(core::ByteWriter& w) const { w.bytes(m_stream); }

TExpression TExpression::compile(std::string_view text) {
  TExpression e;
  e.m_parser = expr::compile_expression(text);
  core::ByteWriter w;
  e.m_parser.save(w);
  e.m_stream = w.take_string();
  return e;
}

TExpression TExpression::from_stream(std::string_view bytes) {
  core::ByteReader r(bytes);
  r.set_context("expression");
  TExpression e;
  e.load(r);
  if (!r.at_end()) r.fail("bytes after the expression");
  return e;
}

const expr::TCustomParam* TExpression::run(expr::TParamCollection& store, const expr::TSysFuncMan& funcs) {
  // An empty expression has no result; skipping the run keeps the store's
  // run bracket out of the many empty slots of a page.
  if (m_parser.empty()) return nullptr;
  m_parser.execute(store, funcs);
  return m_parser.result();
}

bool TExpression::is_true(expr::TParamCollection& store, const expr::TSysFuncMan& funcs) {
  const expr::TCustomParam* v = run(store, funcs);
  return v && v->as_flag();
}

const expr::TCustomParam* TExpression::run(TCallMan& cm) {
  if (m_parser.empty()) return nullptr;
  if (!m_parser.execute(cm.store(), cm.funcs())) cm.ReportExpressionError(m_parser.last_error());
  return m_parser.result();
}

bool TExpression::is_true(TCallMan& cm) {
  const expr::TCustomParam* v = run(cm);
  return v && v->as_flag();
}

bool TExpression::flag_or(TCallMan& cm, bool fallback) {
  const expr::TCustomParam* v = run(cm);
  return v ? v->as_flag() : fallback;
}

std::int32_t TExpression::int_or(TCallMan& cm, std::int32_t fallback) {
  const expr::TCustomParam* v = run(cm);
  return v ? v->as_int() : fallback;
}

std::string TExpression::str_or(TCallMan& cm, std::string_view fallback) {
  const expr::TCustomParam* v = run(cm);
  return v ? v->as_str() : std::string(fallback);
}

}  // namespace nova::script
