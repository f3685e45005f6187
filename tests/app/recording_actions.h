#pragma once
// A WindowActions that records each call as a word, in order.

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "app/window_logic.h"

namespace vantorel {

class RecordingActions : public WindowActions {
 public:
  std::vector<std::string> calls;
  std::vector<std::string> Take() { return std::exchange(calls, {}); }
  bool Saw(const std::string& call) const { return std::find(calls.begin(), calls.end(), call) != calls.end(); }

  void StartImageWorker() override { calls.push_back("StartImage"); }
  void StopImageWorker() override { calls.push_back("StopImage"); }
  void StartSpeaker() override { calls.push_back("StartSpeaker"); }
  void StopSpeaker() override { calls.push_back("StopSpeaker"); }
  void StartTransmit() override { calls.push_back("StartTransmit"); }
  void StopTransmit() override { calls.push_back("StopTransmit"); }
  void ShowAbout() override { calls.push_back("About"); }
  void ShowUrlDialog() override { calls.push_back("UrlDialog"); }
  void ShowDoorDialog() override { calls.push_back("DoorDialog"); }
  void ShowVisitors() override { calls.push_back("Visitors"); }
  void DrawIndicator(int x, bool on) override {
    calls.push_back("Indicator" + std::to_string(x) + (on ? "On" : "Off"));
  }
  void InvalidateTalkZone() override { calls.push_back("InvalidateTalkZone"); }
  void SetMicrophoneLive(bool live) override { calls.push_back(live ? "MicLive" : "MicSilent"); }
  void SetDucked(bool ducked) override { calls.push_back(ducked ? "DuckOn" : "DuckOff"); }
  void ArmTalkIdle(int seconds) override { calls.push_back("ArmIdle" + std::to_string(seconds)); }
  void DisarmTalkIdle() override { calls.push_back("DisarmIdle"); }
  void DestroyWindow() override { calls.push_back("Destroy"); }
  void PostQuit(int code) override { calls.push_back("Quit" + std::to_string(code)); }
};

}  // namespace vantorel
