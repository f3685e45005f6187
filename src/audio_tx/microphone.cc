#include "audio_tx/microphone.h"

#include <cstdlib>

#include "audio_tx/capture_ring.h"
#include "platform/host.h"
#include "platform/log.h"

namespace vantorel {

namespace {

// A failure of a wave-input step, shown as the window would: its text in an error box.
void ShowAudioError(const char* caption, int result) {
  const char* text = AudioErrorText(result);
  if (Host* host = GetHost()) {
    host->ShowErrorBox(caption, text);
  } else {
    LogFailure("%s: %s (%d)", caption, text, result);
  }
}

void OnOpenNotification(AudioInput* device) {
  const int result = OnOpenMicrophone(device);
  if (result != AUDIO_OK) ShowAudioError("OnOpenMicrophone", result);
}

AudioInputEvents MicrophoneEvents() {
  AudioInputEvents events;
  events.on_open = OnOpenNotification;
  events.on_data = OnDataMicrophone;
  events.on_drop = FreeCaptureHeader;
  return events;
}

}  // namespace

bool OpenMicrophone(MicrophoneHandle& handle, const AudioInputOpener& open) {
  MicrophoneHandle device;
  const int result = open(MicrophoneEvents(), device);
  if (result != AUDIO_OK) {
    ShowAudioError("waveInOpen", result);
    if (device) {
      device->Close();
      device.reset();
    }
    return false;
  }
  // The produced count is still 0 too: the microphone opens at most once per run.
  ResetCaptureSlots();
  handle = std::move(device);
  return true;
}

int OnOpenMicrophone(AudioInput* device) {
  for (int number = 0; number < kCaptureSlots; ++number) {
    const int result = RequeueCaptureHeader(device, number);
    if (result != AUDIO_OK) return result;
  }
  return device->Start();
}

void OnDataMicrophone(AudioInput* device, AudioBuffer* header) {
  if (header == nullptr) return;
  if (device == nullptr) {
    FreeCaptureHeader(header);
    return;
  }
  if (header->flags & AUDIO_BUFFER_RESET) {
    ReleaseCaptureHeader(device, header);
    return;
  }
  const int number = static_cast<int>(header->user);
  StoreCapturedBuffer(header);
  const int released = ReleaseCaptureHeader(device, header);
  RequeueCaptureHeader(device, number);
  if (released != AUDIO_OK) ShowAudioError("OnDataMicrophone", released);
}

void MakeCaptureHeader(AudioBuffer* header, int number) {
  header->data = static_cast<uint8_t*>(std::calloc(kCaptureBufferBytes, 1));
  header->length = kCaptureBufferBytes;
  header->bytes_recorded = 0;
  header->user = static_cast<uintptr_t>(number);
  header->flags = 0;
  header->loops = 1;
}

void FreeCaptureHeader(AudioBuffer* header) {
  if (header == nullptr) return;
  std::free(header->data);
  std::free(header);
}

int ReleaseCaptureHeader(AudioInput* device, AudioBuffer* header) {
  const int result = device->Unprepare(header);
  FreeCaptureHeader(header);
  return result;
}

int RequeueCaptureHeader(AudioInput* device, int number) {
  auto* header = static_cast<AudioBuffer*>(std::calloc(1, sizeof(AudioBuffer)));
  if (header == nullptr) return AUDIO_NO_MEMORY;
  MakeCaptureHeader(header, number);
  if (header->data == nullptr) {
    FreeCaptureHeader(header);
    return AUDIO_NO_MEMORY;
  }
  int result = device->Prepare(header);
  if (result != AUDIO_OK) {
    FreeCaptureHeader(header);
    return result;
  }
  result = device->AddBuffer(header);
  if (result != AUDIO_OK) {
    device->Unprepare(header);
    FreeCaptureHeader(header);
    return result;
  }
  return AUDIO_OK;
}

int CloseMicrophone(MicrophoneHandle& handle) {
  if (!handle) return AUDIO_OK;
  handle->Reset();
  const int result = handle->Close();
  if (result == AUDIO_OK) handle.reset();
  return result;
}

}  // namespace vantorel
