#include "settings/camera_settings.h"

#include "runtime/log.h"

namespace vantorel {

CameraSettings::CameraSettings()
    : urls_(DefaultCameraUrls()), paths_(ParameterPathsIn("")), ops_(DefaultParameterFileOps()) {}

std::string CameraSettings::GetImageUrl() const {
  std::lock_guard lock(mutex_);
  return urls_.image;
}

std::string CameraSettings::GetReceiveUrl() const {
  std::lock_guard lock(mutex_);
  return urls_.receive;
}

std::string CameraSettings::GetTransmitUrl() const {
  std::lock_guard lock(mutex_);
  return urls_.transmit;
}

CameraUrls CameraSettings::GetCameraUrls() const {
  std::lock_guard lock(mutex_);
  return urls_;
}

void CameraSettings::SetImageUrl(std::string_view url) {
  std::string cut = CutToChars(url, kMaxUrlChars);
  std::lock_guard lock(mutex_);
  urls_.image = std::move(cut);
}

void CameraSettings::SetReceiveUrl(std::string_view url) {
  std::string cut = CutToChars(url, kMaxUrlChars);
  std::lock_guard lock(mutex_);
  urls_.receive = std::move(cut);
}

void CameraSettings::SetTransmitUrl(std::string_view url) {
  std::string cut = CutToChars(url, kMaxUrlChars);
  std::lock_guard lock(mutex_);
  urls_.transmit = std::move(cut);
}

void CameraSettings::SetCameraUrls(const CameraUrls& urls) {
  CameraUrls cut = CutUrls(urls);
  std::lock_guard lock(mutex_);
  urls_ = std::move(cut);
}

void CameraSettings::ResetCameraUrls() { SetCameraUrls(DefaultCameraUrls()); }

bool CameraSettings::SetUrlsFromAddress(std::string_view text) {
  const auto urls = UrlsFromAddressText(text);
  if (!urls) return false;
  SetCameraUrls(*urls);
  return true;
}

void CameraSettings::ComposeParameterPaths() {
  ParameterPaths paths = ProgramParameterPaths();
  std::lock_guard lock(mutex_);
  paths_ = std::move(paths);
}

void CameraSettings::ComposeParameterPaths(const std::string& directory) {
  ParameterPaths paths = ParameterPathsIn(directory);
  std::lock_guard lock(mutex_);
  paths_ = std::move(paths);
}

ParameterPaths CameraSettings::GetParameterPaths() const {
  std::lock_guard lock(mutex_);
  return paths_;
}

void CameraSettings::SetFileOps(const ParameterFileOps& ops) {
  std::lock_guard lock(mutex_);
  ops_ = ops;
}

bool CameraSettings::LoadParameters() {
  std::string data;
  if (!ReadParameterFile(GetParameterPaths().parameter, data)) return false;
  std::string lines[3];
  const int count = ParseParameterLines(data, lines);
  // A slot keeps its value when its line is missing.
  if (count > 0) SetImageUrl(lines[0]);
  if (count > 1) SetReceiveUrl(lines[1]);
  if (count > 2) SetTransmitUrl(lines[2]);
  return count == 3;
}

bool CameraSettings::WriteParameters(const std::string& path, std::string* error) const {
  CameraUrls urls;
  ParameterFileOps ops;
  {
    std::lock_guard lock(mutex_);
    urls = urls_;
    ops = ops_;
  }
  // The file work runs without the lock: a worker reading its URL never waits for a disk.
  std::string reason;
  const bool written = ops.write_file(path, ParameterFileText(urls), reason);
  if (!written && error) *error = reason.empty() ? path + ": cannot write" : reason;
  return written;
}

bool CameraSettings::SaveParameters(SaveReport* report) {
  ParameterPaths paths;
  ParameterFileOps ops;
  {
    std::lock_guard lock(mutex_);
    paths = paths_;
    ops = ops_;
  }
  SaveReport result;
  if (!WriteParameters(paths.fresh, &result.failure)) {
    LogFailure("settings not saved: %s", result.failure.c_str());
    if (report) *report = std::move(result);
    return false;
  }
  // Each step is attempted whatever the one before it gave. The current file is copied,
  // not moved, to the backup name, and the new file renamed over it: the parameter file
  // is never missing, even if the program dies between two steps. The copy is private
  // (0600) whatever mode the current file had, since the URLs may carry a password.
  std::string removing, copying, placing;
  const bool removed = ops.remove_file(paths.backup, removing);
  const bool backed_up = ops.copy_file(paths.parameter, paths.backup, copying);
  const bool placed = ops.replace_file(paths.fresh, paths.parameter, placing);
  result.saved = placed;
  if (!placed) {
    result.failure = placing.empty() ? paths.parameter + ": cannot replace" : placing;
  } else {
    result.failure = !removing.empty() ? removing : copying;
  }
  if (!result.failure.empty()) LogFailure("saving the settings: %s", result.failure.c_str());
  if (report) *report = std::move(result);
  return removed && backed_up && placed;
}

}  // namespace vantorel
