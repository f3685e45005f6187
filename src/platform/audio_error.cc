#include "platform/audio_types.h"

namespace vantorel {

const char* AudioErrorText(int result) {
  switch (result) {
    case AUDIO_OK:
      return "The operation completed successfully.";
    case AUDIO_ERROR:
      return "An unspecified audio error occurred.";
    case AUDIO_BAD_DEVICE:
      return "The audio device could not be opened or does not exist.";
    case AUDIO_NOT_ENABLED:
      return "The audio system could not be started.";
    case AUDIO_INVALID_HANDLE:
      return "The audio device is not open.";
    case AUDIO_NO_DRIVER:
      return "No audio driver is available.";
    case AUDIO_NO_MEMORY:
      return "Not enough memory for the audio buffers.";
    case AUDIO_INVALID_PARAM:
      return "An invalid parameter was passed to the audio device.";
    case AUDIO_BAD_FORMAT:
      return "The audio format is not supported by the device.";
    case AUDIO_STILL_PLAYING:
      return "Buffers are still queued on the audio device.";
    case AUDIO_UNPREPARED:
      return "The audio buffer was not prepared.";
    default:
      return "An unknown audio error occurred.";
  }
}

}  // namespace vantorel
