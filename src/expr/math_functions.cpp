// The math and date functions. Floats read as integers go through
// float_to_int (the low 32 bits of the truncated value, NaN as 0), and
// integer results wrap as 32-bit values do (Abs(-2147483648) is itself).
#include <algorithm>
#include <cmath>

#include "expr/builtin_groups.h"
#include "expr/date_time.h"
#include "expr/function_args.h"
#include "expr/number_text.h"

namespace nova::expr {

namespace {

using Args = FunctionArgs;

void add(TSysFuncMan& funcs, int index, TSysFuncMan::Behaviour b) { funcs.set_behaviour(index, std::move(b)); }

template <long double (*F)(long double)>
void add_float_function(TSysFuncMan& funcs, int index) {
  add(funcs, index, [](TCustomParam& t, Args a) { t.set_float(F(a[0]->as_float())); });
}

long double sin_of(long double v) { return std::sin(v); }
long double cos_of(long double v) { return std::cos(v); }
long double tan_of(long double v) { return std::tan(v); }
long double asin_of(long double v) { return std::asin(v); }
long double acos_of(long double v) { return std::acos(v); }
long double atan_of(long double v) { return std::atan(v); }

// The parts of a day number's date and time.
template <std::int32_t CalendarTime::*Part>
void add_date_part(TSysFuncMan& funcs, int index) {
  add(funcs, index, [](TCustomParam& t, Args a) { t.set_int(decode_date_time(a[0]->as_float()).*Part); });
}

void write_parts(Args a, std::int32_t x, std::int32_t y, std::int32_t z) {
  if (TCustomParam* v = written_variable(a, 1)) v->set_int(x);
  if (TCustomParam* v = written_variable(a, 2)) v->set_int(y);
  if (TCustomParam* v = written_variable(a, 3)) v->set_int(z);
}

}  // namespace

void register_math_functions(TSysFuncMan& funcs, StandardRandom& random) {
  add(funcs, 20, [](TCustomParam& t, Args a) { t.set_flag(!a[0]->as_flag()); });                   // Not
  add(funcs, 26, [&random](TCustomParam& t, Args a) { t.set_int(random.next(a[0]->as_int())); });  // Random
  add(funcs, 37, [](TCustomParam& t, Args a) { t.set_int(float_to_int(a[0]->as_float())); });      // Int
  add(funcs, 38, [](TCustomParam& t, Args a) { t.set_float(a[0]->as_float()); });                  // Float
  add_float_function<sin_of>(funcs, 39);
  add_float_function<cos_of>(funcs, 40);
  add_float_function<tan_of>(funcs, 41);
  add_float_function<asin_of>(funcs, 42);
  add_float_function<acos_of>(funcs, 43);
  add_float_function<atan_of>(funcs, 44);
  add(funcs, 45, [](TCustomParam& t, Args a) { t.set_float(std::atan2(a[0]->as_float(), a[1]->as_float())); });
  add(funcs, 46, [](TCustomParam& t, Args a) { t.set_float(std::hypot(a[0]->as_float(), a[1]->as_float())); });
  add(funcs, 48, [](TCustomParam& t, Args a) {  // Abs
    const auto v = static_cast<std::uint32_t>(a[0]->as_int());
    t.set_int(static_cast<std::int32_t>(static_cast<std::int32_t>(v) < 0 ? 0u - v : v));
  });
  add(funcs, 49, [](TCustomParam& t, Args a) { t.set_float(std::fabs(a[0]->as_float())); });  // Fabs
  add(funcs, 126, [](TCustomParam& t, Args a) { t.set_int(std::min(a[0]->as_int(), a[1]->as_int())); });
  add(funcs, 127, [](TCustomParam& t, Args a) { t.set_int(std::max(a[0]->as_int(), a[1]->as_int())); });
  add(funcs, 128, [](TCustomParam& t, Args a) {
    const long double x = a[0]->as_float(), y = a[1]->as_float();
    t.set_float(y < x ? y : x);
  });
  add(funcs, 129, [](TCustomParam& t, Args a) {
    const long double x = a[0]->as_float(), y = a[1]->as_float();
    t.set_float(y > x ? y : x);
  });

  // --- Dates ---
  add(funcs, 51, [](TCustomParam& t, Args a) {  // EncodeDate
    t.set_float(encode_date(a[0]->as_int(), a[1]->as_int(), a[2]->as_int()));
  });
  add(funcs, 52, [](TCustomParam& t, Args a) {  // EncodeTime
    t.set_float(encode_time(a[0]->as_int(), a[1]->as_int(), a[2]->as_int()));
  });
  add(funcs, 53, [](TCustomParam&, Args a) {  // DecodeDate
    const CalendarTime c = decode_date_time(a[0]->as_float());
    write_parts(a, c.year, c.month, c.day);
  });
  add(funcs, 54, [](TCustomParam&, Args a) {  // DecodeTime
    const CalendarTime c = decode_date_time(a[0]->as_float());
    write_parts(a, c.hour, c.minute, c.second);
  });
  add_date_part<&CalendarTime::year>(funcs, 55);
  add_date_part<&CalendarTime::month>(funcs, 56);
  add_date_part<&CalendarTime::day>(funcs, 57);
  add_date_part<&CalendarTime::hour>(funcs, 58);
  add_date_part<&CalendarTime::minute>(funcs, 59);
  add_date_part<&CalendarTime::second>(funcs, 60);
  add_date_part<&CalendarTime::week_day>(funcs, 61);
  add(funcs, 62, [](TCustomParam& t, Args a) {  // GetWeekStr
    t.set_str(week_day_name(decode_date_time(a[0]->as_float()).week_day));
  });
  add(funcs, 63, [](TCustomParam& t, Args a) {  // GetWeekJStr
    t.set_str(week_day_name_ja(decode_date_time(a[0]->as_float()).week_day));
  });
}

}  // namespace nova::expr
