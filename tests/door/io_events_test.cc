// The call button's monitor stream as cameras send it: one table of streams, each fed in
// the pieces the network delivers, with the events expected after each piece (a press must
// be taken when it arrives, not when the next part's delimiter comes).

#include "door/io_events.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vantorel {
namespace {

std::string Shown(const IoEvent& e) {
  const char levels[] = {'/', '\\', 'H', 'L'};
  return std::string(e.kind == IoPortKind::kInput ? "I" : "O") + std::to_string(e.port) +
         levels[static_cast<int>(e.level)];
}

std::string Part(const std::string& text) { return "--ioboundary\r\nContent-Type: text/plain\r\n\r\n" + text; }

TEST(IoEventsTest, EveryLayoutGivesItsEventsAsSoonAsTheyArrive) {
  struct Case {
    const char* name;
    std::string content_type;
    std::vector<std::string> pieces;  // the stream pauses after each
    std::vector<std::string> events;  // what each piece gave, space-separated
    bool quiet = true;                // the reader is told of the pauses
  };
  const std::string kType = "multipart/x-mixed-replace; boundary=ioboundary";
  const Case cases[] = {
      {"the documented layout: delimiter before each part, no length, heartbeats",
       kType,
       {Part("1I:L\r\n"), Part("1I:/\r\n"), Part(""), Part("1I:\\\r\n")},
       {"I1L", "I1/", "", "I1\\"}},
      {"the same without pauses told: each part waits for the next delimiter",
       kType,
       {Part("1I:/\r\n"), Part("1I:\\\r\n")},
       {"", "I1/"},
       false},
      {"delimiter after each part", kType, {"--ioboundary\r\n", "\r\n1I:/\r\n--ioboundary\r\n"}, {"", "I1/"}},
      {"Content-Length, no line end",
       kType,
       {"--ioboundary\r\nContent-Length: 4\r\nContent-Type: text/plain\r\n\r\n1I:/", "--ioboundary\r\n\r\n2I:H\r\n"},
       {"I1/", "I2H"}},
      {"older cameras: IO tokens, the boundary learnt from the body",
       "multipart/x-mixed-replace",
       {"--myboundary\r\nContent-Type: text/plain\r\n\r\nIO1:/\r\n", "--myboundary\r\nContent-Type: text/plain\r\n\r\nIO1:\\\r\n"},
       {"I1/", "I1\\"}},
      {"headers and body in separate pieces: an empty body is not taken early",
       kType,
       {Part(""), "1I:/\r\n"},
       {"", "I1/"}},
      {"a delimiter cut in two: the part ends with it",
       kType,
       {Part("1I:/\r\n--iobou"), "ndary\r\n\r\n2I:/\r\n"},
       {"", "I1/ I2/"}},
      {"a body without a line end waits for its delimiter", kType, {Part("1I:/"), Part("")}, {"", "I1/"}},
      {"several tokens, outputs and other ports; junk skipped",
       kType,
       {Part("1I:/ 2I:L,1O:H;junk IO:/ 12345I:/ 1I:X 1i:/ 3O:\\\r\n")},
       {"I1/ I2L O1H O3\\"}},
      {"a part over 4 KiB is dropped, the next one read",
       kType,
       {Part(std::string(5000, 'x') + "\r\n"), Part("1I:/\r\n")},
       {"", "I1/"}},
  };
  for (const Case& c : cases) {
    IoMonitorReader reader(c.content_type);
    std::vector<std::string> got;
    for (const std::string& piece : c.pieces) {
      std::string events;
      reader.Feed(std::span(reinterpret_cast<const uint8_t*>(piece.data()), piece.size()), c.quiet,
                  [&events](const IoEvent& e) { events += (events.empty() ? "" : " ") + Shown(e); });
      got.push_back(events);
    }
    EXPECT_EQ(got, c.events) << c.name;
  }
}

TEST(IoEventsTest, APressIsTheButtonsInputBecomingActiveAlsoWhileTheStreamWasAway) {
  struct Case {
    const char* name;
    std::string events;  // the tokens as one button's stream brings them, reconnections unseen
    int presses;
  };
  const Case cases[] = {
      {"two presses and their releases", "1I:L 1I:/ 1I:\\ 1I:/ 1I:\\", 2},
      {"first reported active: held or wired the other way, no press", "1I:H 1I:\\", 0},
      {"inactive, then active after a reconnection: pressed meanwhile", "1I:L 1I:H", 1},
      {"pressed, then reported active again", "1I:/ 1I:H 1I:H", 1},
      {"a press after a missed release", "1I:/ 1I:/", 2},
      {"other inputs, outputs and the older form", "2I:/ 1O:/ IO1:/ IO1:\\ IO2:/", 1},
  };
  for (const Case& c : cases) {
    CallButton button(1);
    int presses = 0;
    for (const IoEvent& event : ParseIoEvents(c.events)) presses += button.Pressed(event);
    EXPECT_EQ(presses, c.presses) << c.name;
  }
}

}  // namespace
}  // namespace vantorel
