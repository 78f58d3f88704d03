#pragma once
// DoEvents of the Linux program: Qt's event loop, run once over what is waiting.

#include "platform/events.h"

namespace pel {

class QtEventPump : public EventPump {
 public:
  void DoEvents() override;
};

}  // namespace pel
