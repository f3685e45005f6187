#pragma once
// What a camera says of itself through param.cgi ("root.Audio.DuplexMode=full" lines, one
// per parameter, readable at viewer level): which sound dialect it speaks. The design's
// camera has no param.cgi (404) and speaks the design's multipart "audio/32KADPCM".

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "audio_tx/transmit_body.h"
#include "net/sign_in_memory.h"
#include "runtime/cancel_token.h"
#include "runtime/failure.h"

namespace vantorel {

// "Audio.DuplexMode" -> "full": names without their "root." prefix. Lines that are no
// "name=value" (an error line, a blank) are left out; at most 64 KiB of text and 1,000
// parameters are read.
using ParamList = std::map<std::string, std::string>;
ParamList ParseParamList(std::string_view text);

// The groups the sound's dialect is read from.
inline constexpr const char* kSoundParamGroups = "Audio,AudioSource,Properties.Audio";

// The talk's format for what the camera says: the newer dialect when it lists audio
// parameters, mu-law when it decodes it (else G.726-32); the design's otherwise.
TalkFormat TalkFormatFromParams(const ParamList& params);

// GETs param.cgi?action=list&group=`groups` from the camera of `camera_url` (signed in as
// that URL says), bounded in bytes and time. kNone with `params` filled; the failure
// otherwise (a camera without param.cgi: kErrorStatus 404).
Failure FetchCameraParams(const std::string& camera_url, const std::string& groups,
                          const std::shared_ptr<CancelToken>& cancel, ParamList& params,
                          SignInMemory* sign_ins = nullptr);

}  // namespace vantorel
