#include "image/still_buffer.h"

#include <sys/mman.h>

#include <algorithm>

namespace vantorel {

StillBuffer::StillBuffer(size_t bound) : capacity_(bound + 2 * kReadBlock) {
  void* p = mmap(nullptr, capacity_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (p != MAP_FAILED) data_ = static_cast<uint8_t*>(p);
}

StillBuffer::~StillBuffer() {
  if (data_) munmap(data_, capacity_);
}

void StillBuffer::Clear() {
  touched_ = std::max(touched_, size_);
  size_ = 0;
  if (data_ && touched_ > kKeptResident) {
    madvise(data_ + kKeptResident, touched_ - kKeptResident, MADV_DONTNEED);
    touched_ = kKeptResident;
  }
}

}  // namespace vantorel
