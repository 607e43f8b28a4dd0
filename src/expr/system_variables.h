// The "@" system variables: their table (names, indexes, types) and
// TParamSystem, the value class that stands in the store for each of them.
//
// The store creates the 51 variables at its head, in table order. What they
// read and write belongs to the subsystems above (the interpreter, the
// components, the screen, the clock), which plug in a
// TSystemVariableProvider. Until one is attached every read and write of a
// system variable raises core::Error, so an expression that touches one
// stops instead of computing with made-up values.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "expr/params.h"

namespace nova::expr {

class TParamCollection;

struct TSystemVariableInfo {
  std::string_view name;  // ASCII
  TParamType type;        // PT_NONE for @Result and @Temp, whose type is what they stand for
  bool writable;          // writes to the others are ignored
  bool is_array;          // indexed access selects an element; for the others it is ignored
  bool forwards;          // @Result and @Temp: every operation goes to the value they stand for
};

constexpr int kSystemVariableCount = 51;
extern const std::array<TSystemVariableInfo, kSystemVariableCount> kSystemVariables;

// Indexes of the variables other code names directly.
enum SystemVariableIndex : int {
  SV_RESULT = 0,
  SV_TEXTDELAY = 7,
  SV_PARAMSTR = 10,
  SV_CURSOR = 27,
  SV_SELSTR = 28,
  SV_SELINDEX = 29,
  SV_KEYPUSH = 35,
  SV_TEMP = 44,
  SV_MIDIPORTS = 46,
  SV_STACKCOUNT = 50,
};

// A value in a system variable's own type: the field of that type is used.
struct TSysValue {
  std::int32_t i = 0;
  long double f = 0;
  bool b = false;
  std::string s;
};

// Implemented by the layers above. Indexes are 0 ... 50. `element` is -1 for
// a read or write without index, else the element of an array variable.
class TSystemVariableProvider {
 public:
  virtual ~TSystemVariableProvider() = default;
  // @Result and @Temp: the value they stand for now, or nullptr (then they
  // read as 0, 0.0, FALSE or "", have type PT_NONE and ignore writes). The
  // value must never lead back to the forwarding variable itself.
  virtual TCustomParam* referred(int index) = 0;
  // The element count of an array variable (@ParamStr, the key arrays,
  // @MidiPorts).
  virtual std::int32_t count(int index) = 0;
  // Fills the field of the variable's own type.
  virtual void read(int index, std::int32_t element, TSysValue& out) = 0;
  // Receives a value already converted into the variable's own type; only
  // called for writable variables.
  virtual void write(int index, std::int32_t element, const TSysValue& in) = 0;
};

// The value of one system variable. Reads convert from the variable's own
// type by the ordinary rules; writes convert into it with these differences:
// a string that does not parse is ignored by an integer or float variable, a
// string written to a flag variable is parsed as an integer (so "TRUE" gives
// FALSE), and writes to read-only variables are ignored.
class TParamSystem final : public TCustomParam {
 public:
  // `store` provides the attached provider; it outlives the value. An index
  // outside 0 ... 50 makes every operation raise "内部エラー".
  TParamSystem(int index, const TParamCollection& store)
      : TCustomParam(PK_SYSTEM),
        m_index(index),
        m_info(index >= 0 && index < kSystemVariableCount ? &kSystemVariables[static_cast<std::size_t>(index)]
                                                          : nullptr),
        m_store(store) {}

  int index() const { return m_index; }
  // @Result or @Temp: every operation goes to the value it stands for.
  bool forwards() const { return m_info && m_info->forwards; }
  // One of the arrays the system answers (@ParamStr, the key arrays,
  // @MidiPorts): any element index is valid, and one outside the range
  // reads as the empty value.
  bool is_system_array() const { return m_info && m_info->is_array; }

  TParamType type() const override;
  std::int32_t count() const override;
  void set_count(std::int32_t n) override;
  bool as_flag() const override;
  long double as_float() const override;
  std::int32_t as_int() const override;
  std::string as_str() const override;
  void set_flag(bool v) override;
  void set_float(long double v) override;
  void set_int(std::int32_t v) override;
  void set_str(std::string_view v) override;
  bool flag_at(std::int32_t i) const override;
  long double float_at(std::int32_t i) const override;
  std::int32_t int_at(std::int32_t i) const override;
  std::string str_at(std::int32_t i) const override;
  void set_flag_at(std::int32_t i, bool v) override;
  void set_float_at(std::int32_t i, long double v) override;
  void set_int_at(std::int32_t i, std::int32_t v) override;
  void set_str_at(std::int32_t i, std::string_view v) override;
  std::int32_t dim_count() const override;
  std::int32_t dim_size(std::int32_t i) const override;
  std::vector<std::int32_t> dims() const override;
  void set_dims(std::span<const std::int32_t> sizes) override;
  void make_scalar() override;
  void copy_all(const TCustomParam& source) override;
  void assign(const TCustomParam& source) override;
  void fill_int(std::int32_t v) override;
  void fill_float(long double v) override;
  void fill_flag(bool v) override;
  void fill_str(std::string_view v) override;
  // Saved (only ever into a pushed-variable block) as a plain value of the
  // variable's type; loading writes element 0 back.
  void save(core::ByteWriter& w) const override;
  void load(core::ByteReader& r) override;
  std::int32_t index_of(std::string_view text, bool case_sensitive, bool partial) const override;
  std::unique_ptr<TCustomParam> detached() const override;
  void reset_fresh() override {}

 private:
  const TSystemVariableInfo& info() const {
    if (!m_info) [[unlikely]]
      bad_index();
    return *m_info;
  }
  [[noreturn]] static void bad_index();
  TSystemVariableProvider& provider() const;
  // The referred value of a forwarding variable (nullptr when none).
  TCustomParam* referred() const;
  // Reads element `element` (-1: scalar) in the own type.
  TSysValue read(std::int32_t element) const;
  std::int32_t element_for(std::int32_t i) const { return info().is_array ? i : -1; }
  void write(std::int32_t element, const TSysValue& v);
  void write_int(std::int32_t element, std::int32_t v);
  void write_float(std::int32_t element, long double v);
  void write_flag(std::int32_t element, bool v);
  void write_str(std::int32_t element, std::string_view v);
  bool read_flag(std::int32_t element) const;
  long double read_float(std::int32_t element) const;
  std::int32_t read_int(std::int32_t element) const;
  std::string read_str(std::int32_t element) const;

  int m_index;
  const TSystemVariableInfo* m_info;  // null for an index outside the table
  const TParamCollection& m_store;
};

}  // namespace nova::expr
