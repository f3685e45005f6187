#pragma once
// The image refresh worker: fetches the still again and again, makes each new picture the
// current image and asks the window (through the host) to repaint. It never draws itself.

#include "image/image_fetch.h"

namespace vantorel {

// One refresh: LoadImageFromSource(kImageSourceType, the image URL). With a bitmap it
// becomes the current image and the result is its size; otherwise the result is -1 and the
// current image stays. Only one refresh may run at a time (they share temp.jpg): call it
// from the worker, or while no worker runs.
int RefreshImage(const FetchControl& control = {});

// Starts the worker unless one is running: afterwards exactly one runs, however many
// threads call this. A worker that is still ending after a stop is waited for first (it
// has been cancelled, so that is short).
void StartImageWorker();

// Tells the worker to stop and cancels the fetch under way, then waits for the thread at
// most 1000 ms. Returns 0. A worker that has not ended by then (a long decode) finishes
// its cycle on its own; the next start or JoinImageWorker() waits for it.
int StopImageWorker();

// True from a start until the next stop.
bool ImageWorkerRunning();

// For program shutdown, after StopImageWorker(): stops the worker if needed and waits,
// without a time limit, until its thread has ended, so that no worker outlives the host or
// anything else torn down after this.
void JoinImageWorker();

}  // namespace vantorel
