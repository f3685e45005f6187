#pragma once
// The transmit worker: a thread of its own for one talk. It opens one POST request to the
// transmit URL (as the settings hold it when the thread starts) with the agent
// "Halvicor Microphone Write.", announces a practically endless body and writes the body of
// transmit_body.h until the talk is stopped. Failures are not shown to the user: a camera
// that cannot be reached, or that drops the connection, only makes the writes fail, and
// the worker goes on taking captured buffers until TX_STOP.
//
// The window's part, in this order:
//   talk start:  handle = StartTransmit();  then OpenMicrophone(...)
//   talk stop:   CloseMicrophone(...);      then StopTransmit(handle)
//   shutdown:    JoinTransmit(handle)       before CaptureRingDestroy()
// The window keeps the TransmitHandle in its state from the start to the shutdown. All
// three run on the window thread.

#include <memory>
#include <string>
#include <thread>

namespace vantorel {

inline constexpr const char* kTransmitUserAgent = "Halvicor Microphone Write.";

// How one talk's request went, for diagnostics and vantorel-cli (the window shows nothing).
struct TransmitReport {
  bool opened = false;    // the transmit URL was usable (http:// or https://)
  bool sent = false;      // the request head reached the camera
  int writes = 0;         // body pieces written
  int failed_writes = 0;  // of which libcurl could not take the whole piece
  long answer = 0;        // the camera's status code; 0 when it did not answer
  std::string error;      // the first failure, one line; empty when there was none
};

struct TransmitRun;

// One transmit worker, owned by the window from StartTransmit to JoinTransmit. Moving it
// moves the ownership; destroying (or assigning over) it joins the worker as JoinTransmit
// does. TX_STOP is the only stop signal and it is program-wide, so one talk runs per run
// of the ring: a worker started while another still runs would be stopped with it.
class TransmitHandle {
 public:
  TransmitHandle() = default;
  TransmitHandle(TransmitHandle&& other) noexcept = default;
  TransmitHandle& operator=(TransmitHandle&& other) noexcept;
  ~TransmitHandle();

  // A worker was started.
  explicit operator bool() const { return run_ != nullptr; }
  // The worker has finished its request (its thread is ending or has ended); also true
  // for an empty handle.
  bool Ended() const;
  // The request's outcome once Ended(); empty before.
  TransmitReport Report() const;

 private:
  friend TransmitHandle StartTransmit();
  friend void StopTransmit(TransmitHandle& handle);
  friend void JoinTransmit(TransmitHandle& handle);

  std::shared_ptr<TransmitRun> run_;
  std::thread thread_;
};

// Starts the worker thread. The handle is empty when the thread cannot be created.
TransmitHandle StartTransmit();

// Sets TX_STOP (also with an empty handle), then gives the worker at most 1000 ms to end
// its request. Should the camera not have answered by 900 ms, the request is cancelled, so
// that the worker ends within 100 ms more; the call returns by 1000 ms either way. A worker
// that has ended is joined here; one that has not stays in the handle for JoinTransmit.
void StopTransmit(TransmitHandle& handle);

// For program shutdown, before CaptureRingDestroy(): unless the worker's thread has been
// joined already, sets TX_STOP, cancels the request and waits, without a time limit (the
// cancel makes it short), until the thread has ended, so that it never outlives the ring.
// The report stays readable. Nothing happens for an empty handle.
void JoinTransmit(TransmitHandle& handle);

}  // namespace vantorel
