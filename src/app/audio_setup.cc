#include "app/audio_setup.h"

#include "audio_rx/playback.h"
#include "audio_tx/capture_ring.h"

namespace vantorel {

bool AudioSetup() {
  if (!PlaybackSetup()) return false;
  if (!CaptureRingCreate()) {
    PlaybackTeardown();
    return false;
  }
  return true;
}

void AudioTeardown() {
  PlaybackTeardown();
  CaptureRingDestroy();
}

}  // namespace vantorel
