#include "testkit/fake_indicator_windows.h"

namespace pel::fake {

bool FakeIndicator::Visible() {
  return ReadProperty(*fail_, name_, "Visible", visible);
}
void FakeIndicator::SetVisible(bool v) {
  WriteProperty(*fail_, log_, name_, "Visible", visible, v, Shown(v));
}
void FakeIndicator::SetTop(int t) {
  WriteProperty(*fail_, log_, name_, "Top", top, t, Shown(t));
}
int FakeIndicator::Height() {
  return ReadProperty(*fail_, name_, "Height", height_);
}

static std::string IndicatorName(IndicatorId id) {
  return id == IndicatorId::Rec ? "frmRec" : "frmPlay";
}

IndicatorWindow& FakeIndicators::Ref(IndicatorId id) {
  auto& slot = windows_[static_cast<size_t>(id)];
  if (!slot) {
    const std::string name = IndicatorName(id);
    fail.Check(name + ".Load");
    slot = std::make_unique<FakeIndicator>(name, 32, log_, &fail);
    ++loads;
    if (log_) log_->Add(name + ".Load");
  }
  return *slot;
}

void FakeIndicators::Close(IndicatorId id) {
  auto& slot = windows_[static_cast<size_t>(id)];
  if (!slot) return;
  if (log_) log_->Add(IndicatorName(id) + ".Close");
  slot.reset();
}

}  // namespace pel::fake
