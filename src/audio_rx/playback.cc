#include "audio_rx/playback.h"

namespace vantorel {

// Nothing to set up until playback and capture exist.
bool AudioSetup() { return true; }
void AudioTeardown() {}

}  // namespace vantorel
