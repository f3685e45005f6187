#pragma once
// The settings a station runs with: the three camera URL slots and the paths of the
// parameter file that carries them from one run to the next.
//
// The slots are read by the workers while the window thread may write them (URL dialog),
// so every accessor hands out a whole copy taken under the object's lock: a reader sees
// either the old URL or the new one, never a mix.

#include <mutex>
#include <string>
#include <string_view>

#include "settings/camera_urls.h"
#include "settings/parameter_file.h"

namespace vantorel {

class CameraSettings {
 public:
  // Default URLs; the parameter paths are the bare names until composed.
  CameraSettings();
  CameraSettings(const CameraSettings&) = delete;
  CameraSettings& operator=(const CameraSettings&) = delete;

  std::string GetImageUrl() const;
  std::string GetReceiveUrl() const;
  std::string GetTransmitUrl() const;
  CameraUrls GetCameraUrls() const;

  // Replace slots; each value is cut to kMaxUrlChars characters.
  void SetImageUrl(std::string_view url);
  void SetReceiveUrl(std::string_view url);
  void SetTransmitUrl(std::string_view url);
  // All three at once, so that no reader sees a mix of old and new.
  void SetCameraUrls(const CameraUrls& urls);
  // Back to the defaults built from kDefaultCameraAddress.
  void ResetCameraUrls();
  // The command line's first word: twelve digits replace all three slots (true);
  // anything else changes nothing (false). See UrlsFromAddressText.
  bool SetUrlsFromAddress(std::string_view text);

  // The parameter paths in the program directory, or in `directory`.
  void ComposeParameterPaths();
  void ComposeParameterPaths(const std::string& directory);
  ParameterPaths GetParameterPaths() const;

  // Reads the parameter file into the slots. A slot keeps its value when its line (or an
  // earlier one) cannot be read; anything but a regular file counts as no file. True only
  // when all three lines were read.
  bool LoadParameters();
  // Writes the three slots to `path`, created afresh with mode 0600, flushed to disk.
  // False with a one-line reason in `error`, when given.
  bool WriteParameters(const std::string& path, std::string* error = nullptr) const;

  // What a save did, for whoever shows it.
  struct SaveReport {
    bool saved = false;   // the parameter file holds the new URLs
    std::string failure;  // the first thing that failed and why, one line; empty when nothing
                          // did (a missing previous file to back up is no failure)
  };
  // The safe save. Writes the new file, then replaces the backup by a private copy of the
  // current parameter file and renames the new file over it: a complete parameter file
  // exists at every instant. True only when removing the old backup, keeping the current
  // file as backup and putting the new file in place all succeeded (so the very first
  // save, with nothing to back up, reports false although the file is in place). Any
  // thread; two saves of one object must not overlap.
  bool SaveParameters(SaveReport* report = nullptr);

  // Replaces the file operations of a save (tests make single steps fail with it).
  void SetFileOps(const ParameterFileOps& ops);

 private:
  mutable std::mutex mutex_;
  CameraUrls urls_;
  ParameterPaths paths_;
  ParameterFileOps ops_;
};

}  // namespace vantorel
