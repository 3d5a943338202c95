#pragma once
// The core runs on one thread and never blocks it without handling events:
// every pause and wait passes through here, so received bytes, button clicks
// (STOP above all) and repainting go on during long operations.

namespace qv {

class EventPump {
 public:
  virtual ~EventPump() = default;
  // Handles whatever the window toolkit has pending, without waiting.
  virtual void ProcessPendingEvents() = 0;
};

// For programs without a window toolkit (tests, the headless runner).
class NoToolkitPump : public EventPump {
 public:
  void ProcessPendingEvents() override {}
};

}  // namespace qv
