#pragma once
// One function per camera endpoint; Server registers them all.

#include <httplib.h>

#include "camsim/server.h"

namespace vantorel::camsim {

// For the not-found and server-error faults: puts that status and its HTML error page in
// `res` and returns true. False (and `res` untouched) for every other fault.
bool AnswerErrorFault(Fault fault, httplib::Response& res);

// GET /axis-cgi/jpg/image.cgi?resolution=WxH: a fresh JPEG still of the moving scene (or
// the next --still file), shaped by the run's fault.
void RegisterImageEndpoint(httplib::Server& http, Context& context);
// GET /axis-cgi/mjpg/video.cgi?fps=N&resolution=WxH: the same pictures as one endless
// multipart/x-mixed-replace answer, N a second (default 25), shaped by the run's
// MjpegFault (image_endpoint.cc).
void RegisterStreamEndpoint(httplib::Server& http, Context& context);

// POST /axis-cgi/audio/transmit.cgi: reads a talk as it streams in, checks its layout,
// decodes its sound (and writes it to options().talk.out_wav), shaped by the talk fault
// and the run's fault (talk_endpoint.cc).
void RegisterTalkEndpoint(httplib::Server& http, Context& context);
// GET /axis-cgi/audio/transmit.cgi, for either firmware: signed in, then 405.
void RegisterTalkGet(httplib::Server& http, Context& context);
// GET /axis-cgi/audio/receive.cgi: the microphone's endless multipart stream of G.726 parts,
// one per 50 ms, shaped by the run's fault and audio faults (audio_endpoint.cc).
void RegisterAudioEndpoint(httplib::Server& http, Context& context);
// GET /axis-cgi/io/port.cgi (monitor, checkactive, action) and /axis-cgi/io/input.cgi: the
// call button's input and the door opener's output (io_endpoint.cc, io_options.h).
void RegisterIoEndpoint(httplib::Server& http, Context& context);

}  // namespace vantorel::camsim
