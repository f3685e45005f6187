// Soak run of the window: picture and sound on for SECONDS against a simulated camera that
// refuses every 10th still (503), drops the sound stream every 20 s (400 parts of 50 ms) and
// the door's monitor stream every 50 s, and whose call button rings every 2 minutes; each
// ring is answered by a talk of 10 s. The door runs as vantorel.ini's [door] sets it, with a
// scratch VANTOREL_HOME for the visitors' folder. Every minute one line: memory, open
// descriptors and threads, the sound's and the monitor's drops and recoveries, rings,
// pictures shown. At the end a verdict: every ring seen, answered and its visitor kept, every
// drop recovered, every talk taken, pictures still coming, the visitors' folder holding one
// picture per ring, and memory, descriptors and threads flat from minute 3 to the end.
// Exits 3 when not.
//
// Usage: soak [SECONDS]   (default 1800)

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/door_control.h"
#include "app/error_boxes.h"
#include "app/main_window.h"
#include "app/program.h"
#include "app/program_actions.h"
#include "app/strings.h"
#include "reliability/process_resources.h"
#include "settings/camera_urls.h"
#include "settings/station_ini.h"
#include "soak_counters.h"
#include "soak_memory.h"
#include "station/station.h"
#include "support/camera_process.h"

namespace {

using vantorel::soak::Counts;
using vantorel::soak::Memory;

constexpr int kRingEverySeconds = 120;
constexpr int kMonitorDropMs = 50000;
constexpr int kTalkSeconds = 10;  // the answer to each ring
// The third minute's sample (120-180 s) holds the first ring's talk, the most the station
// runs at once: later minutes are compared with it.
constexpr int kFlatFromMinute = 3;
constexpr long kFlatRssKib = 2048;
constexpr double kLateDropSeconds = 10;

// One minute's line; fds and threads are the most seen in any second of that minute.
struct Minute {
  int elapsed_s = 0;
  Memory memory;
  size_t fds_max = 0;
  size_t threads_max = 0;
  Counts counts;
};

void PrintHeader() {
  std::printf(
      "| elapsed | VmRSS KiB | Pss KiB | Private KiB | fds (most) | threads (most) | drops | recoveries |"
      " longest recovery | monitor drops | monitor recoveries | rings | visitors kept | refreshes | failed stills |\n"
      "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
}

void PrintMinute(const Minute& m) {
  std::printf("| %d s | %ld | %ld | %ld | %zu | %zu | %d | %d | %.2f s | %d | %d | %d | %d | %lld | %lld |\n",
              m.elapsed_s, m.memory.rss_kib, m.memory.pss_kib, m.memory.private_kib, m.fds_max, m.threads_max,
              m.counts.sound.drops, m.counts.sound.recoveries, m.counts.sound.longest_recovery_s, m.counts.monitor.drops,
              m.counts.monitor.recoveries, m.counts.rings, m.counts.visitors_kept,
              static_cast<long long>(m.counts.refreshes), static_cast<long long>(m.counts.failed_stills));
  std::fflush(stdout);
}

// Prints the verdict's lines; true when all hold.
bool Verdict(const std::vector<Minute>& minutes, int seconds, int talks_started, size_t visitor_files) {
  const Minute& last = minutes.back();
  const Minute& from = minutes[std::min<size_t>(kFlatFromMinute, minutes.size()) - 1];
  const Counts& c = last.counts;
  // A drop in the last seconds may not have come back yet.
  const auto recovered_all = [seconds](const vantorel::soak::Drops& d) {
    const int unrecovered = d.drops - d.recoveries;
    return unrecovered == 0 || (unrecovered == 1 && d.last_drop_s >= seconds - kLateDropSeconds);
  };
  const bool recovered = recovered_all(c.sound);
  const bool late_drop = c.sound.drops - c.sound.recoveries == 1;
  const long growth = last.memory.rss_kib - from.memory.rss_kib;
  const bool memory_flat = growth < kFlatRssKib;
  const bool fds_flat = last.fds_max <= from.fds_max;
  const bool threads_flat = last.threads_max <= from.threads_max;
  const bool talks = c.talks_taken == talks_started && c.talks_ended == talks_started;
  // A press in the last 10 s may not have reached the window, nor its talk ended.
  const int rings_due = seconds / kRingEverySeconds;
  const bool rings = c.rings >= rings_due - (seconds % kRingEverySeconds < 10 ? 1 : 0) && c.rings <= rings_due;
  const bool answered = talks_started >= c.rings - (c.last_ring_s >= seconds - kTalkSeconds - 6 ? 1 : 0);
  const bool visitors = c.visitors_kept == c.rings && c.visitors_failed == 0 &&
                        visitor_files == static_cast<size_t>(c.visitors_kept);
  const bool monitor_recovered = recovered_all(c.monitor);
  const int64_t before_last = minutes.size() > 1 ? minutes[minutes.size() - 2].counts.refreshes : 0;
  const bool pictures = c.refreshes > before_last;
  auto word = [](bool ok) { return ok ? "yes" : "NO"; };
  std::printf("\nverdict over %d s (flat: from %d s to the end):\n", seconds, from.elapsed_s);
  std::printf("- every drop recovered: %s (%d drops, %d recoveries%s; longest %.2f s)\n", word(recovered), c.sound.drops,
              c.sound.recoveries, late_drop ? ", the last in the final 10 s" : "", c.sound.longest_recovery_s);
  std::printf("- memory flat: %s (VmRSS %ld -> %ld KiB, %+ld KiB; limit under %ld)\n", word(memory_flat),
              from.memory.rss_kib, last.memory.rss_kib, growth, kFlatRssKib);
  std::printf("- fds flat: %s (most %zu -> %zu)\n", word(fds_flat), from.fds_max, last.fds_max);
  std::printf("- threads flat: %s (most %zu -> %zu)\n", word(threads_flat), from.threads_max, last.threads_max);
  std::printf("- every talk taken: %s (%d started, %d ended, %d taken%s%s)\n", word(talks), talks_started,
              c.talks_ended, c.talks_taken, c.last_refused_talk.empty() ? "" : "; last refusal: ",
              c.last_refused_talk.c_str());
  std::printf("- pictures still coming in the last minute: %s (%lld)\n", word(pictures),
              static_cast<long long>(c.refreshes - before_last));
  std::printf("- every ring seen: %s (%d rings, %d due)\n", word(rings), c.rings, rings_due);
  std::printf("- every ring answered by a talk: %s (%d talks)\n", word(answered), talks_started);
  std::printf("- one visitor's picture per ring: %s (%d kept, %d failed, %zu files in the folder)\n", word(visitors),
              c.visitors_kept, c.visitors_failed, visitor_files);
  std::printf("- every monitor drop recovered: %s (%d drops, %d recoveries; longest %.2f s)\n",
              word(monitor_recovered), c.monitor.drops, c.monitor.recoveries, c.monitor.longest_recovery_s);
  std::printf("- error boxes asked for: %d\n", c.device_errors);
  const bool ok = recovered && memory_flat && fds_flat && threads_flat && talks && pictures && rings && answered &&
                  visitors && monitor_recovered;
  std::printf("verdict: %s\n", ok ? "PASS" : "FAIL");
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace vantorel;
  const int seconds = argc > 1 ? std::max(60, std::atoi(argv[1])) : 1800;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("SDL_AUDIODRIVER")) qputenv("SDL_AUDIODRIVER", "dummy");
  int qt_argc = 1;
  QApplication app(qt_argc, argv);

  // A scratch home: vantorel.ini's door, and the visitors' folder.
  char home_template[] = "/tmp/vantorel-soak-XXXXXX";
  const char* home = mkdtemp(home_template);
  if (home == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  setenv("VANTOREL_HOME", home, 1);
  const std::string ini_path = std::string(home) + "/" + kStationIniName;
  if (FILE* ini = std::fopen(ini_path.c_str(), "w")) {
    std::fputs("[door]\nbutton = 1\n", ini);
    std::fclose(ini);
  }
  const std::string ring_every = std::to_string(kRingEverySeconds);
  const std::string monitor_drop = std::to_string(kMonitorDropMs);
  test::CameraProcess camera(VANTOREL_CAMSIM, {"--fps", "10", "--drop-after", "400", "--refuse-every", "10",
                                               "--ring-every", ring_every, "--monitor-drop-ms", monitor_drop});
  if (camera.Url().empty()) {
    std::fputs("the simulated camera did not start\n", stderr);
    return 1;
  }
  soak::Counters counters;
  ProgramActions actions;
  MainWindow window(&actions);
  actions.SetWindow(&window);
  auto* errors = new ErrorBoxes(&window);
  std::vector<Minute> minutes;
  int talks_started = 0;
  {
    Station station(counters.Wrap(WindowObserver(window, *errors)));
    counters.SetStation(&station);
    window.SetPicture(&station.image());
    actions.SetStation(&station);
    station.settings().SetCameraUrls(UrlsForAddress(camera.Url().substr(std::string("http://").size())));
    DoorControl door(window, station, nullptr, ini_path);
    door.Apply(LoadStationIni(ini_path).door);
    window.show();
    // As the user: the buttons "見る" and "聞く".
    window.OnCommand(kCmdView);
    window.OnCommand(kCmdListen);

    // Once a second on the window's thread: a ring's answer (a talk) and its end, and a
    // sample. The window's own talk zone is one-shot (its second tap ends the program), so
    // the talk goes through the same actions the zone calls.
    Minute current;
    int second = 0;
    int rings_answered = 0;
    int talk_ends_at = -1;
    QElapsedTimer clock;
    clock.start();
    PrintHeader();
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
      while (second < clock.elapsed() / 1000) {
        ++second;
        current.fds_max = std::max(current.fds_max, test::FdCount());
        current.threads_max = std::max(current.threads_max, test::ThreadCount());
        if (second == talk_ends_at) {
          actions.StopTransmit();
          talk_ends_at = -1;
        }
        const int rings = counters.Read().rings;
        // A ring in the last seconds is left unanswered: its talk would outlast the run.
        if (rings > rings_answered && talk_ends_at < 0 && second + kTalkSeconds + 5 < seconds) {
          rings_answered = rings;
          actions.StartTransmit();
          ++talks_started;
          talk_ends_at = second + kTalkSeconds;
        }
        if (second % 60 == 0 || second == seconds) {
          current.elapsed_s = second;
          current.memory = soak::ReadMemory();
          current.counts = counters.Read();
          PrintMinute(current);
          minutes.push_back(current);
          current = {};
        }
        if (second >= seconds) QCoreApplication::exit(0);
      }
    });
    tick.start(200);
    QApplication::exec();
    window.hide();
    station.StopPicture();
    station.StopListening();
    station.StopTalk();
    station.WaitIdle(std::chrono::steady_clock::now() + std::chrono::seconds(5));
    station.door().Stop();
  }
  size_t visitor_files = 0;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(std::string(home) + "/visitors", ignored)) {
    visitor_files += entry.is_regular_file() ? 1 : 0;
  }
  const bool ok = Verdict(minutes, seconds, talks_started, visitor_files);
  std::filesystem::remove_all(home, ignored);
  return ok ? 0 : 3;
}
