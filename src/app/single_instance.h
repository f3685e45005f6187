#pragma once
// One running program per user and program directory. A second start asks the first to
// come to the front, then ends.
//
// The instance holds an flock(2) on a lock file for as long as it runs (the kernel drops
// it when the process dies, so a crash leaves nothing that blocks the next start) and
// listens on a Unix socket beside it; a connection to that socket asks it to come to the
// front. Both live in a directory only this user can write: $XDG_RUNTIME_DIR/vantorel,
// else $TMPDIR (or /tmp)/vantorel-UID, else $XDG_CACHE_HOME (or ~/.cache)/vantorel.
// A candidate that is not a directory owned by this user and closed to everyone else (as
// another user could plant in /tmp) is passed over, and so is an entry in it that is not
// ours.

#include <QObject>
#include <QString>
#include <memory>
#include <string>
#include <sys/types.h>

class QSocketNotifier;

namespace vantorel {

// Where the instance directory may be, in order of preference; empty entries are skipped.
struct InstanceDirectoryInputs {
  std::string runtime_dir;  // $XDG_RUNTIME_DIR
  std::string temp_dir;     // $TMPDIR, or /tmp
  std::string cache_dir;    // $XDG_CACHE_HOME, or $HOME/.cache
  uid_t uid = 0;
};
InstanceDirectoryInputs InstanceDirectoryInputsFromEnvironment();

// The first usable instance directory (created with mode 0700 when missing), or "" when
// none is.
std::string ChooseInstanceDirectory(const InstanceDirectoryInputs& in);

// The name of this program directory's lock and socket inside the instance directory
// (without the ".lock" / ".sock" ending).
std::string InstanceKey(const std::string& program_directory);

class SingleInstance : public QObject {
  Q_OBJECT
 public:
  explicit SingleInstance(const QString& program_directory, QObject* parent = nullptr);
  // The same with the directories given (tests).
  SingleInstance(const QString& program_directory, const InstanceDirectoryInputs& dirs,
                 QObject* parent = nullptr);
  ~SingleInstance() override;

  // True when this process is now the only instance (or when no private directory exists
  // at all: then nothing can be shared safely, and the program runs without the rule).
  // False when another instance holds the lock; it has been asked to come to the front.
  bool Claim();

 signals:
  void activationRequested();

 private:
  void AcceptRaiseRequests();

  std::string directory_;  // "" when none is usable
  std::string base_;       // directory_ + "/" + key
  int lock_fd_ = -1;
  int listen_fd_ = -1;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace vantorel
