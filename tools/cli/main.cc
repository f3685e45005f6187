// vantorel-cli: the program's subsystems from the command line, without a window.

#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "cli/url_arguments.h"
#include "runtime/core_dumps.h"
#include "runtime/program_dir.h"
#include "runtime/termination_signals.h"
#include "runtime/version.h"
#include "cli/failure_text.h"

namespace {

struct CommandEntry {
  const char* name;
  int (*run)(int argc, char** argv);
  const char* usage;
};

constexpr CommandEntry kCommands[] = {
    {"urls", vantorel::cli::RunUrls,
     "urls [ADDRESS] [--show-passwords]  print the image, receive and transmit URLs in use (passwords\n"
     "        as *** unless --show-passwords)"},
    {"g726", vantorel::cli::RunG726,
     "g726 encode|decode IN OUT   convert sound (.wav, .raw/.s16) to or from G.726 (.g726)"},
    {"snapshot", vantorel::cli::RunSnapshot,
     "snapshot URL -o FILE.bmp    fetch one still and save it as BMP"},
    {"decode-jpeg", vantorel::cli::RunDecodeJpeg,
     "decode-jpeg IN.jpg -o OUT.bmp  decode a JPEG file and save it as BMP"},
    {"watch", vantorel::cli::RunWatch,
     "watch URL --count N [-o FILE.bmp]  refresh N times; print stills/s and failures"},
    {"talk", vantorel::cli::RunTalk,
     "talk URL -i IN.wav [--fast] | --mic [--once]  send a recording (or the microphone) to the camera;\n"
     "        the microphone's talk comes back after a drop unless --once"},
    {"probe", vantorel::cli::RunProbe,
     "probe URL                   what the camera speaks: sign-in, picture, sound, talk; and what is used"},
    {"listen", vantorel::cli::RunListen,
     "listen URL [--seconds N] [-o OUT.wav] [--once]  play the camera's sound (or record it), coming back\n"
     "        after a drop unless --once; print the frames"},
    {"aec", vantorel::cli::RunAec,
     "aec --far FAR.wav --mic MIC.wav -o OUT.wav [--delay-ms N]  take the loudspeaker's echo out of a\n"
     "        recording of the microphone with the talk's echo canceller"},
    {"rings", vantorel::cli::RunRings,
     "rings URL [--port N] [--seconds N]  one line per press of the call button on input N (default 1),\n"
     "        until the time is up or Ctrl+C; URL is the camera's base or any of its URLs"},
    {"open", vantorel::cli::RunOpen,
     "open URL [--port N] [--ms N]  pulse the door opener's output N (default 1) for N ms (default 3000)"},
    {"visitors", vantorel::cli::RunVisitors,
     "visitors                    list the kept visitors' pictures, newest first, with their bytes"},
};

void PrintUsage(FILE* out) {
  std::fputs("Usage: vantorel-cli COMMAND [ARGS]\n   or: vantorel-cli --help | --version\n\nCommands:\n", out);
  for (const auto& c : kCommands) std::fprintf(out, "  %s\n", c.usage);
  std::fputs("\nA URL may be given as - (read from standard input) or @FILE (its first line), so that\n"
             "no password shows in the process list; --netrc takes the sign-in of a URL without one\n"
             "from ~/.netrc ($NETRC). A password written into a URL argument is hidden from the\n"
             "process list once read, but shells keep it in their history.\n"
             "\nThe program directory is $VANTOREL_HOME when set.\n"
             "Exit status: 0 done, 1 error, 2 usage; when the camera is the cause:\n", out);
  vantorel::cli::PrintExitCodes(out);
}

}  // namespace

int main(int argc, char** argv) {
  vantorel::IgnoreBrokenPipe();
  if (argc < 2) {
    PrintUsage(stderr);
    return 2;
  }
  if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    PrintUsage(stdout);
    return 0;
  }
  if (std::strcmp(argv[1], "--version") == 0) {
    std::puts("vantorel-cli " VANTOREL_VERSION);
    return 0;
  }
  // Passwords live in this process's memory: no core dump of it.
  vantorel::ForbidCoreDumps();
  std::string directory, refusal;
  if (!vantorel::GetProgramDirectory(directory, &refusal) && !refusal.empty()) {
    std::fprintf(stderr, "vantorel-cli: %s\n", refusal.c_str());
    return 1;
  }
  vantorel::cli::UrlArguments urls;  // owns the arguments' copies while the command runs
  std::string error;
  if (!urls.Prepare(argc, argv, error)) {
    std::fprintf(stderr, "vantorel-cli: %s\n", error.c_str());
    return 2;
  }
  for (const auto& c : kCommands) {
    if (std::strcmp(argv[1], c.name) == 0) return c.run(argc - 1, argv + 1);
  }
  std::fprintf(stderr, "vantorel-cli: unknown command '%s' (see vantorel-cli --help)\n", argv[1]);
  return 2;
}
