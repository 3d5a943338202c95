#pragma once
#include <chrono>

// The core runs on one thread and never blocks it without handling events:
// every pause and wait passes through here, so received bytes, button clicks
// (STOP above all) and repainting go on during long operations.

namespace qv {

class EventPump {
 public:
  virtual ~EventPump() = default;
  // Handles whatever the window toolkit has pending, without waiting.
  virtual void ProcessPendingEvents() = 0;
  // Has the console's views refreshed after `delay` even if the program has
  // gone idle meanwhile, so that the last value of a counter always shows.
  // Without an event loop the views catch up at the next event handling.
  virtual void RefreshViewsLater(std::chrono::milliseconds delay) { (void)delay; }
};

// For programs without a window toolkit (tests, the headless runner).
class NoToolkitPump : public EventPump {
 public:
  void ProcessPendingEvents() override {}
};

}  // namespace qv
