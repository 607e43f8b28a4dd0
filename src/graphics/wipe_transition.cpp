#include "graphics/wipe_transition.h"

#include <utility>

namespace nova::graphics {

namespace {

class WipeTransition final : public TTransition {
 public:
  explicit WipeTransition(std::unique_ptr<TCustomWipe> wipe) : m_wipe(std::move(wipe)) {}

  void SetReverse(bool reverse) override { m_wipe->SetReverse(reverse); }
  std::int32_t GetParam(int index) const override { return m_wipe->GetParam(index); }
  void SetParam(int index, std::int32_t value) override { m_wipe->SetParam(index, value); }
  void SetMaskName(const std::string& name) override { m_wipe->SetMaskName(name); }
  void Start() override { m_wipe->Prepare(); }
  bool Started() const override { return m_wipe->IsPrepared(); }
  std::int32_t Duration() const override { return m_wipe->Duration(); }
  void SetElapsed(std::int32_t elapsed) override { m_wipe->SetElapsed(elapsed); }
  std::int32_t Elapsed() const override { return m_wipe->Elapsed(); }
  bool DrawStep() override { return m_wipe->DrawStep(); }
  Rect Bounds() const override { return m_wipe->Bounds(); }

 private:
  std::unique_ptr<TCustomWipe> m_wipe;
};

}  // namespace

std::unique_ptr<TTransition> WipeTransitionFactory::Create(int type, TCustomDIBX& target, const TCustomDIBX& old_screen,
                                                           const TCustomDIBX& new_screen, std::int32_t duration) {
  auto wipe = CreateTransition(type, {&target, &old_screen, &new_screen}, m_services, duration);
  if (!wipe) return nullptr;
  return std::make_unique<WipeTransition>(std::move(wipe));
}

}  // namespace nova::graphics
