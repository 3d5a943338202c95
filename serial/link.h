#pragma once
// The serial link: one open port, its receive thread and the hand-over of
// received bytes to the main thread.
//
// The receive thread only waits for bytes (or for the stop request, which
// wins) and then parks until the main thread has read exactly the bytes that
// were queued. All reads, writes, opens and closes happen on the main thread.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace qv {

class SerialLink {
 public:
  SerialLink() = default;
  SerialLink(const SerialLink&) = delete;
  SerialLink& operator=(const SerialLink&) = delete;
  ~SerialLink();

  // Opens the device exclusively (an advisory lock, then the tty's exclusive
  // flag, so neither another program nor root can share it), makes it raw 8N1
  // at `rate` and starts the receive thread. On failure LastError() says why.
  bool Open(const std::string& devicePath, int rate);
  bool IsOpen() const { return fd_ >= 0; }
  const std::string& LastError() const { return lastError_; }
  int LastErrno() const { return lastErrno_; }

  bool SetBaud(int rate);
  bool SetModemLines(bool on);
  // The DTR and RTS states; false when closed or the device has no modem lines.
  bool GetModemLines(bool& dtr, bool& rts) const;

  // Closing, in two halves so that the caller can keep handling notifications
  // (the thread may be parked on one) until the thread has finished.
  void RequestStop();
  bool ReceiverFinished() const { return finished_.load(); }
  void FinishClose();  // joins the thread, discards queued bytes, closes the device

  // The bytes waiting in the input queue, read at once; never blocks.
  std::string ReadAvailable();
  // Writes one byte at a time, each completing before the next.
  void WriteBytewise(const char* data, size_t count);
  // Writes the whole block in one request.
  void WriteBlock(const char* data, size_t count);

  // --- hand-over to the main thread ---
  // Called on the receive thread whenever a notification is posted, so that a
  // window toolkit idling in its own loop can wake up and serve it.
  void SetWakeHook(std::function<void()> hook) { wakeHook_ = std::move(hook); }
  bool NotificationPending() const;
  // Releases the receive thread after the main thread has handled a notification.
  void NotificationHandled();
  // Waits until a notification is pending, the device is lost, or the deadline passes.
  bool WaitForNotification(std::chrono::steady_clock::time_point deadline);
  // The device went away (hang-up, error) while open; the receive thread ends
  // by itself and the main thread must still FinishClose().
  bool Lost() const { return lost_.load(); }

 private:
  void ReceiveLoop();
  void Fail(const std::string& what, int err);

  int fd_ = -1;
  int stopFd_ = -1;
  std::thread thread_;
  std::atomic<bool> finished_{true};
  std::atomic<bool> lost_{false};
  std::atomic<bool> readError_{false};
  std::string lastError_;
  int lastErrno_ = 0;

  mutable std::mutex mutex_;
  std::condition_variable cv_;
  bool pending_ = false;
  bool stopping_ = false;
  std::function<void()> wakeHook_;
};

}  // namespace qv
