#include "engine/cycle/status_step.h"

namespace pel {

namespace {

std::string Upper(std::string_view s) {
  std::string u(s);
  for (char& c : u)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return u;
}

}  // namespace

std::string StatusStep::StateCaption() const {
  const Mode state = host_.recorder.mode;
  // Built in place: GCC 12 at -O3 warns falsely (-Wrestrict) on "[" + text + "]".
  std::string caption = Upper(StateText(state));
  caption.insert(0, 1, '[');
  caption.push_back(']');
  if (state == Mode::Recording) {
    if (!recording_.Note().empty()) caption.append(" ").append(recording_.Note());
    return caption;
  }
  if (state != Mode::Playing) return caption;
  if (screens_.Mapped()) caption.append(" ").append(kLayoutMappedNote);
  if (!windows_.MissingNote().empty()) caption.append(" ").append(windows_.MissingNote());
  if (playback_.InputAway()) caption.append(" ").append(kInputAwayNote);
  return caption;
}

void StatusStep::SetStateCaption(std::string caption) {
  host_.panel.SetStatus(caption);
  caption_ = std::move(caption);
}

void StatusStep::Run(Procedure& p, Mode last_state) {
  Recorder& recorder = host_.recorder;
  Clock& clock = recorder.Host().clock;
  Panel& panel = host_.panel;

  const bool recording = recorder.mode == Mode::Recording;
  if (!p.Test(312, [&] { return recording || recorder.mode == Mode::Playing; })) {
    p.Step(350, [&] { host_.indicators.Close(IndicatorId::Rec); });
    p.Step(352, [&] { host_.indicators.Close(IndicatorId::Play); });
    return;
  }
  if (p.Test(314, [&] { return recorder.mode != last_state; })) {
    p.Step(316, [&] { blink_on_ = false; });
    p.Step(318, [&] { SetStateCaption(StateCaption()); });
  } else if (recorder.mode == Mode::Playing) {
    // The monitors changed, or a window was not found or is found again: the line says so,
    // unless something else has taken it since (it is then left as it is).
    std::string caption = StateCaption();
    if (caption != caption_ && panel.Status() == caption_) SetStateCaption(std::move(caption));
  }
  if (!p.Test(320, [&] { return clock.Now() > next_blink_time_; })) return;
  p.Step(322, [&] { next_blink_time_ = clock.Now() + kBlinkPeriod; });
  p.Step(324, [&] { blink_on_ = !blink_on_; });
  const IndicatorId id = recording ? IndicatorId::Rec : IndicatorId::Play;
  // The step numbers of the blink of either indicator.
  struct BlinkSteps {
    int show;  // the window made
    int test;  // blink_on_ read
    int top;   // shown at top 0
    int hide;  // hidden
  };
  const BlinkSteps n = recording ? BlinkSteps{.show = 328, .test = 330, .top = 332, .hide = 334}
                                 : BlinkSteps{.show = 340, .test = 342, .top = 344, .hide = 346};
  if (!recording) p.Step(338, [&] { panel.SetStatusColor(color::kGreen); });
  // The off phase hides the window: moved above the primary screen, it would stand on a
  // monitor above that one. Placed before it shows, it never appears anywhere else.
  p.Step(n.show, [&] { host_.indicators.Ref(id); });
  if (p.Test(n.test, [&] { return blink_on_; }))
    p.Step(n.top, [&] {
      IndicatorWindow& w = host_.indicators.Ref(id);
      w.SetTop(0);
      if (!w.Visible()) w.SetVisible(true);
    });
  else
    p.Step(n.hide, [&] {
      IndicatorWindow& w = host_.indicators.Ref(id);
      if (w.Visible()) w.SetVisible(false);
    });
  if (recording) p.Step(336, [&] { panel.SetStatusColor(color::kRed); });
}

}  // namespace pel
