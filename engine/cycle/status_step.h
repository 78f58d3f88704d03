#pragma once
// Status and indicators, run at every tick after the state's step: "[RECORDING]" in red or
// "[PLAYING]" in green on the status line (with what playback maps: the layout note, a window not
// found, the wait while another desktop has the input), and the indicator window of the running
// recording or playback blinking every kBlinkPeriod; both indicators closed otherwise.

#include <string>

#include "engine/cycle/playback_step.h"
#include "engine/cycle/poll_tick.h"
#include "engine/cycle/recording_step.h"
#include "engine/error_report.h"
#include "engine/motionfile/screen_layout.h"
#include "engine/recorder/window_mapping.h"

namespace pel {

class StatusStep {
 public:
  StatusStep(PollHost host, const ScreenMap& screens, const WindowMap& windows,
             const RecordingStep& recording, const PlaybackStep& playback)
      : host_(host),
        screens_(screens),
        windows_(windows),
        recording_(recording),
        playback_(playback) {}

  // One tick; `last_state` is the mode at the end of the previous tick.
  void Run(Procedure& p, Mode last_state);
  // Clock reading after which the indicator flips next.
  double NextBlinkTime() const { return next_blink_time_; }

  // Seconds between blink flips of the indicator window.
  static constexpr double kBlinkPeriod = 0.3;

 private:
  // "[RECORDING]" or "[PLAYING]": the former with the recording's note, the latter with the
  // layout note while the playback maps positions and the missing window's note while its
  // positions play as recorded.
  std::string StateCaption() const;
  void SetStateCaption(std::string caption);

  PollHost host_;
  const ScreenMap& screens_;
  const WindowMap& windows_;
  const RecordingStep& recording_;
  const PlaybackStep& playback_;
  bool blink_on_ = false;
  double next_blink_time_ = 0;
  std::string caption_;  // the status line as SetStateCaption left it
};

}  // namespace pel
