#pragma once
// Transitional: the one CameraSettings of a process whose workers still reach their URLs
// through the free functions of camera_urls.h. Code that owns its own CameraSettings
// (and hands it to what needs it) does not use this; once nothing does, this file goes.

#include "settings/camera_settings.h"

namespace vantorel {

CameraSettings& ProgramSettings();

}  // namespace vantorel
