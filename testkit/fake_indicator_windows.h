#pragma once
// The record and play indicators as the poll cycle sees them, held in memory. Every change is
// logged as "<name>.<Property> <value>"; a call named in `fail` throws pel::Error instead.

#include <array>
#include <memory>
#include <string>

#include "engine/recorder/indicator_windows.h"
#include "testkit/call_log.h"
#include "testkit/logged_property.h"

namespace pel::fake {

class FakeIndicator : public IndicatorWindow {
 public:
  FakeIndicator(std::string name, int height, CallLog* log, FailSwitch* fail)
      : name_(std::move(name)), height_(height), log_(log), fail_(fail) {}
  bool Visible() override;
  void SetVisible(bool visible) override;
  void SetTop(int top) override;
  int Height() override;

  bool visible = false;
  int top = 0;

 private:
  std::string name_;
  int height_;
  CallLog* log_;
  FailSwitch* fail_;
};

// The record and play indicators: created (and "loaded") on first reference, gone after Close.
class FakeIndicators : public IndicatorWindows {
 public:
  explicit FakeIndicators(CallLog* log = nullptr) : log_(log) {}
  IndicatorWindow& Ref(IndicatorId id) override;
  void Close(IndicatorId id) override;

  // The open window, or nullptr.
  FakeIndicator* Open(IndicatorId id) { return windows_[static_cast<size_t>(id)].get(); }
  int loads = 0;  // windows created so far
  FailSwitch fail;

 private:
  CallLog* log_;
  std::array<std::unique_ptr<FakeIndicator>, 2> windows_;
};

}  // namespace pel::fake
