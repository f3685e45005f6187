#pragma once
// Which cameras have taken a Digest sign-in, for as long as its owner (the station) lives.
// A camera that has is never sent a Basic sign-in afterwards: Basic carries the password
// readable, and a camera that suddenly asks for it (or someone posing as it) must not get it.
// A camera that never offered Digest still gets Basic.

#include <mutex>
#include <set>
#include <string>

namespace vantorel {

class SignInMemory {
 public:
  // `camera`: CameraKey of its URL (net/url.h). Any thread.
  bool DigestWorked(const std::string& camera) const {
    std::lock_guard lock(mutex_);
    return digest_.count(camera) > 0;
  }
  void NoteDigest(const std::string& camera) {
    std::lock_guard lock(mutex_);
    digest_.insert(camera);
  }

 private:
  mutable std::mutex mutex_;
  std::set<std::string> digest_;  // guarded by mutex_
};

}  // namespace vantorel
