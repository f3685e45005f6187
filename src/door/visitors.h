#pragma once
// The visitors' pictures: each ring keeps the camera's JPEG as it arrived, named by the local
// time of the ring ("20261209-083005.jpg"; "-2", "-3", ... when two fall in one second), in
// a folder of the program's data place, bounded in count and bytes (the oldest go first).

#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/cancel_token.h"
#include "runtime/failure.h"

namespace vantorel {

// What the folder keeps: the newest pictures while both bounds hold.
struct VisitorBound {
  size_t max_count = 1000;
  uint64_t max_bytes = uint64_t{200} * 1000 * 1000;
};

// Where the pictures go: $VANTOREL_HOME/visitors when VANTOREL_HOME is set and not empty,
// else $XDG_DATA_HOME/vantorel/visitors (XDG_DATA_HOME: ~/.local/share when unset or not
// absolute). Empty when there is no home to go by.
struct VisitorsDirInputs {
  const char* vantorel_home = nullptr;
  const char* xdg_data_home = nullptr;
  const char* home = nullptr;
};
std::string ResolveVisitorsDirectory(const VisitorsDirInputs& in);
// The same from this process's environment.
std::string VisitorsDirectory();

// One kept picture.
struct VisitorPicture {
  std::string name;     // "20261209-083005.jpg"
  uint64_t bytes = 0;
  std::string stamp;    // "20261209-083005"
  int suffix = 1;       // 1 for the plain name, then 2, 3, ...
};

// The name for a ring at `local` (a local broken-down time) with `suffix` (1: none).
std::string VisitorName(const std::tm& local, int suffix = 1);
// The picture a name stands for (bytes left 0); nullopt for a name that is not ours.
std::optional<VisitorPicture> ParseVisitorName(std::string_view name);

// The pictures of the folder that carry our names, oldest first (by name: time, then
// suffix). Other files are left out, and a missing folder has none.
std::vector<VisitorPicture> ListVisitors(const std::string& dir);

// Which of `oldest_first` go to keep `bound`: the newest are kept while the count and the
// bytes so far stay within it; the first that does not fit goes, and everything older.
std::vector<std::string> VisitorsOverBound(const std::vector<VisitorPicture>& oldest_first, const VisitorBound& bound);

// Keeps `jpeg` in `dir` (made 0700 when missing) under the name for `when` (the first free
// suffix), written with the files policy (mode 0600: faces at the door are private), then
// removes what is over `bound`. The new file's path in `path`; false with a one-line reason.
bool KeepVisitor(const std::string& dir, std::span<const uint8_t> jpeg, std::time_t when, std::string& path,
                 std::string& error, const VisitorBound& bound = {});

// The camera's JPEG at `url` as it arrives, its bytes unchanged (at most 32 MiB, 15 s).
// kNone with `jpeg` filled; an error status as kErrorStatus; a body that does not begin like
// a JPEG as kNotAPicture.
Failure FetchVisitorJpeg(const std::shared_ptr<CancelToken>& cancel, const std::string& url,
                         std::vector<uint8_t>& jpeg);

}  // namespace vantorel
