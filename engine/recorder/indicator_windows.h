#pragma once
// The record and play indicators as the poll cycle drives them. The application implements these on
// top of the native windows (app/indicator_forms.h); tests use the substitutes in testkit/.

#include "platform/shaped_window.h"

namespace pel {

class IndicatorWindow {
 public:
  virtual ~IndicatorWindow() = default;
  virtual bool Visible() = 0;
  // Shows the window without taking the focus.
  virtual void SetVisible(bool visible) = 0;
  // The window's top edge in pixels below the top of the primary screen (which need not be at
  // screen y 0); negative places it above that screen.
  virtual void SetTop(int top) = 0;
  // Outer height in pixels.
  virtual int Height() = 0;
};

class IndicatorWindows {
 public:
  virtual ~IndicatorWindows() = default;
  // The window; the first reference creates it and runs its load handler (placement, shaping).
  virtual IndicatorWindow& Ref(IndicatorId id) = 0;
  // Destroys the window; does nothing when it does not exist. The next Ref creates it anew.
  virtual void Close(IndicatorId id) = 0;
};

}  // namespace pel
