#pragma once
// Playback of the camera's sound, and the program-wide audio set-up that the entry calls.

namespace vantorel {

// At program start: the playback lock and blocks, then the capture ring. False ends the
// program (exit code 0).
bool AudioSetup();
// At program end, after the message loop: everything AudioSetup made.
void AudioTeardown();

}  // namespace vantorel
