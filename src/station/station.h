#pragma once
// The running station: the camera settings, the current picture, playback, the capture
// ring and the microphone, and the three workers (picture, listen, talk). The far end ring
// joins playback and the talk: what is played is what the talk's echo canceller takes out. The window, the
// CLI and every test make their own. Nothing here waits for the network or a device on the
// caller's thread: starts and stops return at once, and what the workers do is reported
// through the observer.
//
// Shutdown order is destruction order: the workers stop and are joined first (the talk
// closes the microphone on its own thread), then the microphone, the ring, playback, the
// picture and the settings go, in reverse order of the members below.

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "audio_rx/playback.h"
#include "audio_rx/receive_worker.h"
#include "audio_tx/capture_ring.h"
#include "audio_tx/microphone.h"
#include "audio_tx/transmit_worker.h"
#include "image/current_image.h"
#include "net/sign_in_memory.h"
#include "runtime/stoppable_worker.h"
#include "sound_io/audio_input.h"
#include "sound_io/audio_output.h"
#include "sound_io/far_end_ring.h"
#include "settings/camera_settings.h"
#include "settings/station_ini.h"
#include "station/door.h"

namespace vantorel {

// kDoor: the call button's watch (station/door.h).
enum class StationWorker { kPicture, kListen, kTalk, kDoor };

struct ListenOptions {
  // Come back after an unexpected end (the connection closed or reset, no byte for 3 s):
  // after 0.5 s, doubling up to 8 s, back to 0.5 s after a minute of good running. A
  // refused sign-in, a wrong path or a missing sound device end it with their reason.
  bool reconnect = false;
  // Told (on the listen worker's thread) when a session drops sound that comes faster than
  // real time.
  std::function<void()> too_fast;
};

struct TalkOptions {
  // Open the microphone on the talk worker's thread (false: the caller stores its own
  // buffers into ring()).
  bool open_microphone = true;
  // Come back after an unexpected end (the connection closed or reset, a write refused),
  // with listening's pauses; the sound captured during the pause is dropped, not sent late.
  // A refused sign-in or a wrong path ends the talk with its reason.
  bool reconnect = false;
};

// What the station tells its owner; every callback may run on any thread and must not
// call back into the station's starts and stops synchronously (post them instead).
struct StationObserver {
  std::function<void()> repaint;                                    // a new picture
  std::function<void(StationWorker, const WorkerStatus&)> status;  // a worker's state changed
  // The microphone did not open (kNoAudioDevice, with the device's reason); the talk goes
  // on without sound.
  std::function<void(const Failure&)> microphone_failed;
  // The door: rings, the chime, visitors' pictures, the opener (station/door.h).
  std::function<void(const DoorEvent&)> door;
};

// The sound devices the station opens (SDL's by default; tests and the CLI pass others).
struct StationDevices {
  AudioOutputOpener output = OpenSdlAudioOutput;
  AudioInputOpener input = OpenSdlAudioInput;
};

class Station {
 public:
  explicit Station(StationObserver observer = {}, StationDevices devices = {});
  ~Station();
  Station(const Station&) = delete;
  Station& operator=(const Station&) = delete;

  CameraSettings& settings() { return settings_; }
  const CurrentImage& image() const { return image_; }
  CurrentImage& image() { return image_; }
  Playback& playback() { return playback_; }
  CaptureRing& ring() { return ring_; }
  // The call button, the chime, the visitors' pictures and the door opener.
  Door& door() { return door_; }

  // The picture: fetch, decode and show stills until stopped. A start while the picture
  // runs changes nothing.
  void StartPicture();
  void StopPicture();

  // Listening: the camera's sound into `sink` (playback on the output device when empty).
  void StartListening(SoundSink sink = {}, ListenOptions options = {});
  void StopListening();

  // A talk: the microphone into the camera's loudspeaker. The talk worker opens the
  // microphone (a failure goes to the observer's microphone_failed; the request goes on
  // without sound) unless options.open_microphone is false. StopTalk ends the body and
  // closes the microphone; the camera's answer is still waited for, bounded.
  void StartTalk(TalkOptions options = {});
  void StopTalk();
  // How the last finished talk went.
  TransmitReport LastTalkReport() const;
  // Which sound dialect the talk speaks: asked of each camera once (kAuto, the default), or
  // the one given. Any thread; the next talk uses it.
  void SetDialect(CameraDialect dialect);
  // Any thread. Whether the next talk's microphone goes through the echo canceller (on by
  // default), fed with what playback plays.
  void SetEchoCancel(bool on) { echo_cancel_.store(on, std::memory_order_relaxed); }
  // Any thread, at once: silence is sent in place of the microphone's sound (push-to-talk
  // between presses; the talk's request goes on).
  void SetTalkMuted(bool muted) { microphone_.SetMuted(muted); }
  // Any thread, from the next block played: the camera's sound kDuckDb softer.
  void SetDucked(bool ducked) { playback_.SetDucked(ducked); }

  WorkerStatus Status(StationWorker worker) const;
  // Waits until `worker` has ended (by a stop or by itself), or the deadline; true when it
  // has.
  bool WaitStopped(StationWorker worker, std::chrono::steady_clock::time_point deadline);
  // Waits until no worker runs, or the deadline; true when none does.
  bool WaitIdle(std::chrono::steady_clock::time_point deadline);

 private:
  StoppableWorker& Worker(StationWorker worker);
  const StoppableWorker& Worker(StationWorker worker) const;
  void PictureJob(WorkerContext& context);
  void ListenJob(WorkerContext& context, const SoundSink& sink, const ListenOptions& options);
  void TalkJob(WorkerContext& context, const TalkOptions& options);
  // The talk's format for the camera of `url`: param.cgi asked once per camera.
  TalkFormat TalkFormatFor(WorkerContext& context, const std::string& url);

  const StationObserver observer_;
  const StationDevices devices_;
  CameraSettings settings_;
  CurrentImage image_;
  FarEndRing far_end_;            // written by playback, read by the microphone
  Playback playback_{&far_end_};
  CaptureRing ring_;
  Microphone microphone_{ring_};  // opened and closed by the talk worker's thread only
  std::atomic<bool> echo_cancel_{true};
  mutable std::mutex report_mutex_;
  TransmitReport last_talk_;      // guarded by report_mutex_
  std::mutex dialect_mutex_;
  CameraDialect dialect_ = CameraDialect::kAuto;  // guarded by dialect_mutex_
  std::map<std::string, TalkFormat> formats_;    // per camera (CameraKey); guarded by dialect_mutex_
  SignInMemory sign_ins_;                         // shared by every request of the station
  // Last, so that they stop first.
  StoppableWorker picture_;
  StoppableWorker listen_;
  StoppableWorker talk_;
  Door door_;
};

}  // namespace vantorel
