#pragma once
// The picture worker's job: fetches the still again and again, makes each new picture the
// current image and asks the window to repaint. It never draws itself.

#include <functional>
#include <string>

#include "image/current_image.h"
#include "image/image_fetch.h"
#include "runtime/stoppable_worker.h"

namespace vantorel {

// One refresh: LoadImageFromSource(kImageSourceType, `url`). With a bitmap it becomes the
// current image and the result is its size; otherwise the result is -1 and the current
// image stays.
int RefreshImage(CurrentImage& image, const std::string& url, const FetchControl& control = {});

// What the picture job needs from its station.
struct PictureJob {
  CurrentImage* image = nullptr;
  std::function<std::string()> url;   // read afresh for every still
  std::function<void()> repaint;      // any thread; may be empty
};

// Runs until a stop is requested: refresh, repaint, and again, the stills on one kept
// connection. After a failed still it waits 100 ms, doubling with each failure in a row up
// to 2 s (a camera that refuses at once would otherwise be asked thousands of times a
// second). Reports kRunning with each picture and kFailed with the reason of a failure.
void RunPictureWorker(WorkerContext& context, const PictureJob& job);

}  // namespace vantorel
