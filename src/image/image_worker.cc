#include "image/image_worker.h"

namespace vantorel {

// No worker yet: the picture comes with the fetch and decode.
void StartImageWorker() {}
int StopImageWorker() { return 0; }

}  // namespace vantorel
