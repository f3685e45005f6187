#pragma once
// The image refresh worker: fetches the still again and again and asks for a repaint.

namespace vantorel {

void StartImageWorker();
// Stops the worker; returns within 1000 ms. Returns 0.
int StopImageWorker();

}  // namespace vantorel
