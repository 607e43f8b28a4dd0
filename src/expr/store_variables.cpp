#include "expr/store_variables.h"

#include "core/sjis.h"

namespace nova::expr {
namespace {

constexpr int kTextDelay = 7;
constexpr int kPi = 30;
constexpr int kOneHour = 32;
constexpr int kOneMin = 33;
constexpr int kOneSec = 34;

constexpr std::string_view kTempName = "@Temp";

}  // namespace

TCustomParam* TStoreVariables::referred(int index) {
  if (index != SV_TEMP) return nullptr;
  const std::string& name = m_store.temp_name();
  if (name.empty()) return nullptr;
  TParamCollectionItem* item = m_store.find(name);
  if (!item) return nullptr;
  // A name that leads back to @Temp (loaded from a save, say) would make
  // every use of @Temp call itself: it stands for nothing instead.
  TCustomParam& value = item->value();
  if (value.kind() == PK_SYSTEM && static_cast<const TParamSystem&>(value).index() == SV_TEMP) return nullptr;
  return &value;
}

std::int32_t TStoreVariables::count(int) { return 1; }

void TStoreVariables::read(int index, std::int32_t, TSysValue& out) {
  switch (index) {
    case kTextDelay: out.i = m_store.text_delay(); break;
    case SV_SELSTR: out.s = m_store.selected_string(); break;
    case SV_SELINDEX: out.i = m_store.selected_index(); break;
    case kPi: out.f = 3.14159265358979323846264338327950288L; break;
    case kOneHour: out.f = 1.0L / 24; break;
    case kOneMin: out.f = 1.0L / 1440; break;
    case kOneSec: out.f = 1.0L / 86400; break;
    default: break;
  }
}

void TStoreVariables::write(int index, std::int32_t, const TSysValue& in) {
  switch (index) {
    case kTextDelay: m_store.set_text_delay(in.i); break;
    case SV_SELSTR: m_store.set_selected_string(in.s); break;
    case SV_SELINDEX: m_store.set_selected_index(in.i); break;
    default: break;
  }
}

bool assign_temp_name(TParamCollection& store, std::string_view name) {
  if (core::equal_ci(name, kTempName)) return false;
  store.set_temp_name(std::string(name));
  return true;
}

}  // namespace nova::expr
