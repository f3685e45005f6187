// vantorel-camsim: a simulated camera on 127.0.0.1. Prints the URL it serves, then serves
// until SIGINT or SIGTERM.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>

#include "camsim/audio_stream.h"
#include "camsim/server.h"
#include "files/wav_file.h"
#include "runtime/termination_signals.h"

namespace {

using vantorel::camsim::Options;

void PrintUsage(FILE* out) {
  std::fputs(
      "Usage: vantorel-camsim [--port N] [--still FILE...] [--fault NAME] [--delay-ms N]\n"
      "                       [--drip-us N] [--fps N] [--refuse-every N]\n"
      "                       [--auth USER:PASSWORD] [--auth-scheme digest|basic|any]\n"
      "                       [--digest MD5|MD5-sess|SHA-256] [--nonce-seconds N]\n"
      "                       [--always-stale] [--basic-after-digest]\n"
      "                       [--talk-out FILE] [--talk-fault NAME] [--talk-after N]\n"
      "                       [--audio-in FILE.wav] [--audio-fault LIST] [--audio-parts N] [--part-ms N]\n"
      "                       [--drop-after N] [--silence-after N] [--echo-ms N [--echo-db D]]\n"
      "                       [--firmware design|current] [--duplex full|half|listen|talk]\n"
      "                       [--challenge-after-body] [--body-limit BYTES] [--length-after-type]\n"
      "                       [--ring-at S[,S...]] [--ring-every S] [--button-port N] [--heartbeat-ms N]\n"
      "                       [--monitor-drop-ms N] [--io-old]\n"
      "                       [--mjpeg-fault NAME]\n\n"
      "  --port N        port on 127.0.0.1 (default 0: any free port)\n"
      "  --still FILE... serve these JPEG files in turn instead of the moving scene\n"
      "  --fault NAME    misbehave on every request:",
      out);
  for (const char* name : vantorel::camsim::FaultNames()) std::fprintf(out, " %s", name);
  std::fputs(
      "\n                  (reset, no-read and the hostile endless-body, inflating, endless-trailers,\n"
      "                  slow-body answer every path below HTTP)\n"
      "  --delay-ms N    the wait before a slow answer (default 200)\n"
      "  --drip-us N     the gap between dripped bytes (default 100)\n"
      "  --fps N         answer at most N stills a second, each at its frame time (default: no pacing)\n"
      "  --refuse-every N  answer every Nth still request 503 Service Unavailable (a busy camera)\n"
      "  --auth U:P      require this user name and password on every endpoint (the upload too);\n"
      "                  a request without them is answered 401 with Connection: close\n"
      "  --auth-scheme S digest (default), basic or any (both offered)\n"
      "  --digest ALG    the Digest algorithm asked for: MD5 (default), MD5-sess or SHA-256\n"
      "  --nonce-seconds N  a Digest nonce expires N s after it was issued (default 60); a\n"
      "                  request with an expired one gets a new challenge with stale=true\n"
      "  --always-stale  every right Digest answer is called stale (a new nonce, never allowed)\n"
      "  --basic-after-digest  once a Digest sign-in was allowed, ask only for Basic\n"
      "  --talk-out FILE write what each talk carried, decoded, to FILE (WAV) as it ends\n"
      "  --talk-fault NAME  misbehave on every talk: none unauthorized close stop-reading\n"
      "  --talk-after N  parts read before a close or stop-reading fault (default 0)\n"
      "  --audio-in FILE the camera microphone's sound, looped (any PCM WAV; default: a door chime)\n"
      "  --audio-fault L misbehave on the audio stream, a comma list of: ",
      out);
  std::fputs(vantorel::camsim::AudioFaultNames(), out);
  std::fputs(
      "\n  --audio-parts N end the audio stream after N parts (with --fault stall: go silent;\n"
      "                  with --fault close-mid-body: cut the connection in the next part)\n"
      "  --part-ms N     the time between audio parts (default 50; 0: as fast as read)\n"
      "  --drop-after N  close each sound stream's connection after N parts (the next is served again)\n"
      "  --silence-after N  each sound stream goes silent after N parts: held open, nothing sent,\n"
      "                  closed after 30 s (the next connection is served again)\n"
      "  --firmware F    design (default): the camera the design was built for; current: the newer\n"
      "                  firmware: receive.cgi sends singlepart audio/basic (G.711 mu-law) by default,\n"
      "                  ?audiocodec=g726 audio/G726-32 (earlier code in bits 4-7), ?httptype=multipart\n"
      "                  64 ms parts with a Content-Length each (512 bytes mu-law, 256 bytes G.726);\n"
      "                  transmit.cgi plays one singlepart body of audio/basic or audio/G726-32 in real\n"
      "                  time (any Content-Length, none, or chunked): 415 for another type, 503 while\n"
      "                  another client talks, the talk ends after 1 s without data (200, then the\n"
      "                  connection closes); param.cgi?action=list&group=... lists its settings\n"
      "                  (404 with the design's camera). The faults above apply to its streams too;\n"
      "                  there --part-ms 0 sends as fast as read, any other value keeps the sound's pace\n"
      "  --duplex D      (with --firmware current) full (default); half: the microphone is silent while\n"
      "                  a talk plays; listen: transmit.cgi answers 405; talk: receive.cgi answers 405.\n"
      "                  param.cgi reports it as root.Audio.DuplexMode (full, half, get, post)\n"
      "  --challenge-after-body  a request refused for its sign-in is answered 401 only once its\n"
      "                  body has ended (an endless talk is never challenged; a GET or an empty body\n"
      "                  at once), as web servers in front of a camera's CGIs do\n"
      "  --body-limit BYTES  answer 413 (Connection: close) to a request whose declared Content-Length\n"
      "                  is above BYTES, before reading it (default: no limit; 1073741824 with\n"
      "                  --firmware current)\n"
      "  --length-after-type  the design's audio parts carry \"Content-Length: 200\" after their\n"
      "                  Content-Type line (the newer firmware's parts always carry one)\n"
      "  --echo-ms N     the microphone hears the loudspeaker: what the talks play comes back in\n"
      "                  the sound N ms later (0 to 5000)\n"
      "  --echo-db D     and D dB quieter (default 6; -6 means the same)\n"
      "  --ring-at S[,S...]  press the call button S seconds after the start (each press 1 s long)\n"
      "  --ring-every S  press it every S seconds (at least 2)\n"
      "  --button-port N the input the call button is on (default 1)\n"
      "  --heartbeat-ms N  an empty monitor part after N ms without a change (default 15000)\n"
      "  --monitor-drop-ms N  close each monitor stream N ms after it began (the next is served again)\n"
      "  --io-old        an older camera: no port.cgi (404), only input.cgi?monitor=N\n"
      "                  port.cgi?action=N:/MS\\ pulses output N and prints \"relay: port N pulse MS ms\"\n"
      "  --mjpeg-fault NAME  misbehave on the picture stream (/axis-cgi/mjpg/video.cgi?fps=N&resolution=WxH,\n"
      "                  the --still files or the scene, N a second, default 25): none; no-length: parts\n"
      "                  without Content-Length; dashed-boundary: boundary=--myboundary in the header;\n"
      "                  junk-first: junk before the first boundary; huge-part: every fourth part from\n"
      "                  the second is 48 MiB without a length; stop: two parts, then nothing (closed after 30 s)\n\n"
      "Prints the URL it serves (http://127.0.0.1:PORT) on the first line of output,\n"
      "then one line per talk as it ends and one per pulse of an output.\n",
      out);
}

bool ReadFile(const char* path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

bool ParseCount(const char* text, long max, long& out) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (!*text || *end || v < 0 || v > max) return false;
  out = v;
  return true;
}

int Usage(const char* problem) {
  std::fprintf(stderr, "vantorel-camsim: %s\n", problem);
  PrintUsage(stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    long n = 0;
    if (arg == "--help" || arg == "-h") {
      PrintUsage(stdout);
      return 0;
    } else if (arg == "--port" && has_value) {
      if (!ParseCount(argv[++i], 65535, n)) return Usage("--port needs 0 to 65535");
      options.port = static_cast<int>(n);
    } else if (arg == "--still" && has_value) {
      while (i + 1 < argc && std::strncmp(argv[i + 1], "--", 2) != 0) {
        std::string data;
        if (!ReadFile(argv[++i], data)) {
          std::fprintf(stderr, "vantorel-camsim: cannot read %s\n", argv[i]);
          return 1;
        }
        options.stills.push_back(std::move(data));
      }
    } else if (arg == "--fault" && has_value) {
      const auto fault = vantorel::camsim::ParseFault(argv[++i]);
      if (!fault) return Usage("unknown fault");
      options.fault = *fault;
    } else if (arg == "--delay-ms" && has_value) {
      if (!ParseCount(argv[++i], 600000, n)) return Usage("--delay-ms needs a number of milliseconds");
      options.slow_delay = std::chrono::milliseconds(n);
    } else if (arg == "--drip-us" && has_value) {
      if (!ParseCount(argv[++i], 10000000, n)) return Usage("--drip-us needs a number of microseconds");
      options.drip_gap = std::chrono::microseconds(n);
    } else if (arg == "--auth" && has_value) {
      options.sign_in.account = argv[++i];
      if (options.sign_in.account.find(':') == std::string::npos) return Usage("--auth needs USER:PASSWORD");
    } else if (arg == "--auth-scheme" && has_value) {
      const auto scheme = vantorel::camsim::ParseAuthScheme(argv[++i]);
      if (!scheme) return Usage("--auth-scheme needs digest, basic or any");
      options.sign_in.scheme = *scheme;
    } else if (arg == "--digest" && has_value) {
      const auto algorithm = vantorel::camsim::ParseDigestAlgorithm(argv[++i]);
      if (!algorithm) return Usage("--digest needs MD5, MD5-sess or SHA-256");
      options.sign_in.algorithm = *algorithm;
    } else if (arg == "--always-stale") {
      options.sign_in.always_stale = true;
    } else if (arg == "--basic-after-digest") {
      options.sign_in.basic_after_digest = true;
    } else if (arg == "--nonce-seconds" && has_value) {
      if (!ParseCount(argv[++i], 86400, n) || n == 0) return Usage("--nonce-seconds needs 1 to 86400");
      options.sign_in.nonce_lifetime = std::chrono::seconds(n);
    } else if (arg == "--fps" && has_value) {
      if (!ParseCount(argv[++i], 1000, n)) return Usage("--fps needs 0 to 1000");
      options.fps = static_cast<int>(n);
    } else if (arg == "--refuse-every" && has_value) {
      if (!ParseCount(argv[++i], 1000000, n) || n == 0) return Usage("--refuse-every needs 1 to 1000000");
      options.refuse_every = static_cast<int>(n);
    } else if (arg == "--drop-after" && has_value) {
      if (!ParseCount(argv[++i], 1000000000, n)) return Usage("--drop-after needs a number of parts");
      options.audio_drop_after = static_cast<int>(n);
    } else if (arg == "--silence-after" && has_value) {
      if (!ParseCount(argv[++i], 1000000000, n)) return Usage("--silence-after needs a number of parts");
      options.audio_silence_after = static_cast<int>(n);
    } else if (arg == "--echo-ms" && has_value) {
      if (!ParseCount(argv[++i], 5000, n)) return Usage("--echo-ms needs 0 to 5000");
      options.echo.delay = std::chrono::milliseconds(n);
    } else if (arg == "--echo-db" && has_value) {
      char* end = nullptr;
      const double db = std::strtod(argv[++i], &end);
      if (!*argv[i] || *end || !(std::abs(db) <= 60)) return Usage("--echo-db needs -60 to 60");
      options.echo.db_down = std::abs(db);
    } else if (arg == "--talk-out" && has_value) {
      options.talk.out_wav = argv[++i];
    } else if (arg == "--talk-fault" && has_value) {
      const auto fault = vantorel::camsim::ParseTalkFault(argv[++i]);
      if (!fault) return Usage("unknown talk fault");
      options.talk.fault = *fault;
    } else if (arg == "--talk-after" && has_value) {
      if (!ParseCount(argv[++i], 1000000000, n)) return Usage("--talk-after needs a number of parts");
      options.talk.fault_after_parts = static_cast<int>(n);
    } else if (arg == "--audio-in" && has_value) {
      std::string error;
      if (!vantorel::ReadWavMono16(argv[++i], vantorel::camsim::kAudioRate, options.audio_in, error) ||
          options.audio_in.empty()) {
        std::fprintf(stderr, "vantorel-camsim: %s\n", error.empty() ? "the sound file is empty" : error.c_str());
        return 1;
      }
    } else if (arg == "--audio-fault" && has_value) {
      const auto faults = vantorel::camsim::ParseAudioFaults(argv[++i]);
      if (!faults) return Usage("unknown audio fault");
      options.audio_faults = *faults;
    } else if (arg == "--audio-parts" && has_value) {
      if (!ParseCount(argv[++i], 1000000000, n)) return Usage("--audio-parts needs a number of parts");
      options.audio_parts = static_cast<int>(n);
    } else if (arg == "--part-ms" && has_value) {
      if (!ParseCount(argv[++i], 60000, n)) return Usage("--part-ms needs a number of milliseconds");
      options.audio_part_interval = std::chrono::milliseconds(n);
    } else if (arg == "--firmware" && has_value) {
      const auto firmware = vantorel::camsim::ParseFirmware(argv[++i]);
      if (!firmware) return Usage("--firmware needs design or current");
      options.current.firmware = *firmware;
    } else if (arg == "--duplex" && has_value) {
      const auto duplex = vantorel::camsim::ParseDuplex(argv[++i]);
      if (!duplex) return Usage("--duplex needs full, half, listen or talk");
      options.current.duplex = *duplex;
    } else if (arg == "--challenge-after-body") {
      options.current.challenge_after_body = true;
    } else if (arg == "--body-limit" && has_value) {
      if (!ParseCount(argv[++i], std::numeric_limits<long>::max(), n)) return Usage("--body-limit needs a number of bytes");
      options.current.body_limit = static_cast<uint64_t>(n);
    } else if (arg == "--mjpeg-fault" && has_value) {
      const auto fault = vantorel::camsim::ParseMjpegFault(argv[++i]);
      if (!fault) return Usage("unknown picture stream fault");
      options.mjpeg_fault = *fault;
    } else if (arg == "--length-after-type") {
      options.current.length_after_type = true;
    } else if (arg == "--ring-at" && has_value) {
      const auto times = vantorel::camsim::ParseSecondsList(argv[++i]);
      if (!times) return Usage("--ring-at needs seconds, e.g. 2,6");
      options.io.ring_at = *times;
    } else if (arg == "--ring-every" && has_value) {
      const auto every = vantorel::camsim::ParseSecondsList(argv[++i]);
      if (!every || every->size() != 1 || every->front() < std::chrono::seconds(2)) {
        return Usage("--ring-every needs a number of seconds, at least 2");
      }
      options.io.ring_every = every->front();
    } else if (arg == "--button-port" && has_value) {
      if (!ParseCount(argv[++i], 64, n) || n == 0) return Usage("--button-port needs 1 to 64");
      options.io.button_port = static_cast<int>(n);
    } else if (arg == "--heartbeat-ms" && has_value) {
      if (!ParseCount(argv[++i], 600000, n) || n < 10) return Usage("--heartbeat-ms needs 10 to 600000");
      options.io.heartbeat = std::chrono::milliseconds(n);
    } else if (arg == "--monitor-drop-ms" && has_value) {
      if (!ParseCount(argv[++i], 86400000, n)) return Usage("--monitor-drop-ms needs a number of milliseconds");
      options.io.monitor_drop = std::chrono::milliseconds(n);
    } else if (arg == "--io-old") {
      options.io.no_port_cgi = true;
    } else {
      return Usage(("unexpected argument " + arg).c_str());
    }
  }

  options.talk.print = true;
  options.io.print = true;

  // The serving threads inherit the blocked signals; only the wait below takes them.
  vantorel::IgnoreBrokenPipe();
  vantorel::TerminationSignals termination;

  vantorel::camsim::Server server(std::move(options));
  if (!server.Start()) {
    std::fputs("vantorel-camsim: cannot listen on 127.0.0.1 at that port\n", stderr);
    return 1;
  }
  std::printf("%s\n", server.Url().c_str());
  std::fflush(stdout);
  while (!termination.Wait(std::chrono::hours(1))) {
  }
  server.Stop();
  return 0;
}
