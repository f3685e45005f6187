#include "settings/program_settings.h"

namespace vantorel {

CameraSettings& ProgramSettings() {
  static CameraSettings settings;
  return settings;
}

std::string GetImageUrl() { return ProgramSettings().GetImageUrl(); }
std::string GetReceiveUrl() { return ProgramSettings().GetReceiveUrl(); }
std::string GetTransmitUrl() { return ProgramSettings().GetTransmitUrl(); }
CameraUrls GetCameraUrls() { return ProgramSettings().GetCameraUrls(); }
void SetImageUrl(std::string_view url) { ProgramSettings().SetImageUrl(url); }
void SetReceiveUrl(std::string_view url) { ProgramSettings().SetReceiveUrl(url); }
void SetTransmitUrl(std::string_view url) { ProgramSettings().SetTransmitUrl(url); }
void SetCameraUrls(const CameraUrls& urls) { ProgramSettings().SetCameraUrls(urls); }
void ResetCameraUrls() { ProgramSettings().ResetCameraUrls(); }
bool SetUrlsFromAddress(std::string_view text) { return ProgramSettings().SetUrlsFromAddress(text); }

}  // namespace vantorel
