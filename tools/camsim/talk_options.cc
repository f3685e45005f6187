#include "camsim/talk_options.h"

#include <array>
#include <utility>

namespace vantorel::camsim {

namespace {

constexpr std::array<std::pair<TalkFault, const char*>, 4> kTalkFaultNames{{
    {TalkFault::kNone, "none"},
    {TalkFault::kUnauthorized, "unauthorized"},
    {TalkFault::kClose, "close"},
    {TalkFault::kStopReading, "stop-reading"},
}};

}  // namespace

std::optional<TalkFault> ParseTalkFault(std::string_view name) {
  for (const auto& [fault, text] : kTalkFaultNames) {
    if (name == text) return fault;
  }
  return std::nullopt;
}

const char* TalkFaultName(TalkFault fault) {
  for (const auto& [f, text] : kTalkFaultNames) {
    if (f == fault) return text;
  }
  return "?";
}

std::vector<const char*> TalkFaultNames() {
  std::vector<const char*> names;
  for (const auto& entry : kTalkFaultNames) names.push_back(entry.second);
  return names;
}

}  // namespace vantorel::camsim
