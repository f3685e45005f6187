// The door from the command line:
//   vantorel-cli rings URL [--port N] [--seconds N]  one line per press of the call button
//   vantorel-cli open URL [--port N] [--ms N]        pulses the door opener's output
//   vantorel-cli visitors                            the kept visitors' pictures
// URL is the camera's base or any of its URLs. Both camera commands run the station's door
// as the window does (rings: the watch, coming back after a drop, without chime or
// pictures); Ctrl+C (SIGINT) or SIGTERM ends them.

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <optional>
#include <string>

#include "cli/failure_text.h"
#include "commands.h"
#include "door/camera_io.h"
#include "door/visitors.h"
#include "runtime/termination_signals.h"
#include "station/station.h"

namespace vantorel::cli {

namespace {

using Clock = std::chrono::steady_clock;

// "2026-12-09T08:30:05+09:00": local time with its offset.
std::string IsoLocalTime(std::chrono::system_clock::time_point at) {
  const std::time_t t = std::chrono::system_clock::to_time_t(at);
  std::tm local{};
  localtime_r(&t, &local);
  char text[64];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  const int offset = static_cast<int>(std::labs(local.tm_gmtoff) / 60 % (100 * 60));  // minutes
  char zone[32];
  std::snprintf(zone, sizeof zone, "%c%02d:%02d", local.tm_gmtoff < 0 ? '-' : '+', offset / 60, offset % 60);
  return std::string(text) + zone;
}

bool ParseInt(const char* text, long low, long high, int& out) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (!*text || *end || v < low || v > high) return false;
  out = static_cast<int>(v);
  return true;
}

// The camera's URL, checked; false (with the reason on stderr) when it cannot be used.
bool UsableCameraUrl(const char* url) {
  std::string why;
  if (CameraBase(url, &why)) return true;
  std::fprintf(stderr, "vantorel-cli: %s\n", why.c_str());
  return false;
}

int RingsUsage() {
  std::fputs("usage: vantorel-cli rings URL [--port N] [--seconds N]\n", stderr);
  return 2;
}

int OpenUsage() {
  std::fputs("usage: vantorel-cli open URL [--port N] [--ms N]\n", stderr);
  return 2;
}

}  // namespace

int RunRings(int argc, char** argv) {
  const char* url = nullptr;
  int port = 1;
  std::optional<double> seconds;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--port") == 0 && i + 1 < argc) {
      if (!ParseInt(argv[++i], 1, 64, port)) return RingsUsage();
    } else if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
      char* end = nullptr;
      const double s = std::strtod(argv[++i], &end);
      if (*end || !(s > 0) || s > 1e7) return RingsUsage();
      seconds = s;
    } else if (!url && argv[i][0] != '-') {
      url = argv[i];
    } else {
      return RingsUsage();
    }
  }
  if (!url) return RingsUsage();
  if (!UsableCameraUrl(url)) return 2;

  TerminationSignals signals;  // before the worker starts: its threads inherit the mask
  std::mutex print_mutex;
  StationObserver observer;
  observer.door = [&print_mutex](const DoorEvent& event) {
    if (event.kind != DoorEvent::Kind::kRing) return;
    std::lock_guard lock(print_mutex);
    std::printf("ring port %d at %s\n", event.port, IsoLocalTime(event.wall).c_str());
    std::fflush(stdout);
  };
  Station station(observer);
  station.settings().SetImageUrl(url);  // this run only; the parameter file is not touched
  DoorOptions options;
  options.button = port;
  options.chime_enabled = false;
  options.keep_visitors = false;
  const auto start = Clock::now();
  station.door().Start(options);
  for (;;) {
    // A refused sign-in or a wrong path ends the watch; anything else is retried.
    if (station.WaitStopped(StationWorker::kDoor, Clock::now())) break;
    long wait_ms = 100;
    if (seconds) {
      const double left = *seconds - std::chrono::duration<double>(Clock::now() - start).count();
      if (left <= 0) break;
      wait_ms = std::min(wait_ms, static_cast<long>(left * 1000) + 1);
    }
    if (signals.Wait(std::chrono::milliseconds(wait_ms))) break;
  }
  station.door().Stop();
  station.WaitStopped(StationWorker::kDoor, Clock::time_point::max());
  const WorkerStatus status = station.Status(StationWorker::kDoor);
  if (status.state == WorkerState::kFailed) {
    std::fprintf(stderr, "vantorel-cli: no call button: %s\n", DescribeFailure(status.failure, true).c_str());
    return FailureExitCode(status.failure.reason);
  }
  return 0;
}

int RunOpen(int argc, char** argv) {
  const char* url = nullptr;
  int port = 1;
  int ms = 3000;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--port") == 0 && i + 1 < argc) {
      if (!ParseInt(argv[++i], 1, 64, port)) return OpenUsage();
    } else if (std::strcmp(argv[i], "--ms") == 0 && i + 1 < argc) {
      if (!ParseInt(argv[++i], 100, 600000, ms)) return OpenUsage();
    } else if (!url && argv[i][0] != '-') {
      url = argv[i];
    } else {
      return OpenUsage();
    }
  }
  if (!url) return OpenUsage();
  if (!UsableCameraUrl(url)) return 2;

  TerminationSignals signals;
  std::mutex mutex;
  std::condition_variable done_cv;
  std::optional<DoorEvent> outcome;
  StationObserver observer;
  observer.door = [&](const DoorEvent& event) {
    if (event.kind != DoorEvent::Kind::kOpened && event.kind != DoorEvent::Kind::kOpenFailed) return;
    {
      std::lock_guard lock(mutex);
      outcome = event;
    }
    done_cv.notify_all();
  };
  Station station(observer);
  station.settings().SetImageUrl(url);
  station.door().Open(port, ms);
  bool interrupted = false;
  for (;;) {
    {
      std::unique_lock lock(mutex);
      if (done_cv.wait_for(lock, std::chrono::milliseconds(100), [&] { return outcome.has_value(); })) break;
    }
    if (signals.Received()) {
      interrupted = true;
      break;
    }
  }
  station.door().Stop();
  if (interrupted) {
    std::fputs("vantorel-cli: interrupted; the pulse may have been sent\n", stderr);
    return 1;
  }
  std::lock_guard lock(mutex);
  if (outcome->kind == DoorEvent::Kind::kOpenFailed) {
    std::fprintf(stderr, "vantorel-cli: door not opened: %s\n", DescribeFailure(outcome->failure, true).c_str());
    return outcome->failure.failed() ? FailureExitCode(outcome->failure.reason) : 1;
  }
  std::printf("port %d pulsed for %d ms\n", port, ms);
  return 0;
}

int RunVisitors(int argc, char**) {
  if (argc != 1) {
    std::fputs("usage: vantorel-cli visitors\n", stderr);
    return 2;
  }
  const std::string dir = VisitorsDirectory();
  const std::vector<VisitorPicture> pictures = ListVisitors(dir);
  if (pictures.empty()) {
    std::fprintf(stderr, "no visitors' pictures in %s\n", dir.empty() ? "(no folder: HOME is not set)" : dir.c_str());
    return 0;
  }
  // Newest first: the last ring is what one looks for.
  for (auto p = pictures.rbegin(); p != pictures.rend(); ++p) {
    std::printf("%s/%s\t%llu\n", dir.c_str(), p->name.c_str(), static_cast<unsigned long long>(p->bytes));
  }
  return 0;
}

}  // namespace vantorel::cli
