// param.cgi's answer as any camera (or anyone posing as one) may send it: the list is read
// without a crash, and the talk's format chosen from it is one of ours.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "station/camera_params.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vantorel;
  const ParamList params = ParseParamList(std::string_view(reinterpret_cast<const char*>(data), size));
  const TalkFormat format = TalkFormatFromParams(params);
  if (format != TalkFormat::kDesignMultipart && format != TalkFormat::kMuLaw && format != TalkFormat::kG726) {
    std::abort();
  }
  return 0;
}
