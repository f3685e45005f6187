#pragma once
// The program-wide audio set-up and tear-down: playback's blocks, then the capture ring.
// It lives with the entry because playback and capture never include each other.

namespace vantorel {

// At program start: PlaybackSetup, then CaptureRingCreate, whose result it returns. False
// ends the program (exit code 0); nothing is kept then.
bool AudioSetup();
// At program end, after the message loop and the last CloseMicrophone: PlaybackTeardown,
// then CaptureRingDestroy.
void AudioTeardown();

}  // namespace vantorel
