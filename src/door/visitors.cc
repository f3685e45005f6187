#include "door/visitors.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "door/camera_io.h"
#include "files/replacing_file.h"
#include "net/http_get.h"
#include "runtime/program_dir.h"

namespace vantorel {

namespace {

// A still's bounds: a camera cannot fill the memory or hold the ring's worker for ever.
constexpr size_t kMaxVisitorJpegBytes = size_t{32} << 20;
constexpr long kVisitorFetchMs = 15000;
// Names tried for one second before giving up.
constexpr int kMaxSuffix = 1000;

bool AllDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool Earlier(const VisitorPicture& a, const VisitorPicture& b) {
  return a.stamp != b.stamp ? a.stamp < b.stamp : a.suffix < b.suffix;
}

}  // namespace

std::string ResolveVisitorsDirectory(const VisitorsDirInputs& in) {
  if (in.vantorel_home && *in.vantorel_home) return std::string(in.vantorel_home) + "/visitors";
  if (in.xdg_data_home && in.xdg_data_home[0] == '/') return std::string(in.xdg_data_home) + "/vantorel/visitors";
  if (in.home && *in.home) return std::string(in.home) + "/.local/share/vantorel/visitors";
  return {};
}

std::string VisitorsDirectory() {
  return ResolveVisitorsDirectory({std::getenv("VANTOREL_HOME"), std::getenv("XDG_DATA_HOME"), std::getenv("HOME")});
}

std::string VisitorName(const std::tm& local, int suffix) {
  char name[64];
  std::snprintf(name, sizeof name, "%04d%02d%02d-%02d%02d%02d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                local.tm_hour, local.tm_min, local.tm_sec);
  std::string text = name;
  if (suffix > 1) text += "-" + std::to_string(suffix);
  return text + ".jpg";
}

std::optional<VisitorPicture> ParseVisitorName(std::string_view name) {
  // "YYYYMMDD-HHMMSS.jpg" or "YYYYMMDD-HHMMSS-N.jpg", N from 2.
  if (name.size() < 19 || name.substr(name.size() - 4) != ".jpg") return std::nullopt;
  const std::string_view stamp = name.substr(0, 15);
  if (!AllDigits(stamp.substr(0, 8)) || stamp[8] != '-' || !AllDigits(stamp.substr(9, 6))) return std::nullopt;
  VisitorPicture picture{.name = std::string(name), .bytes = 0, .stamp = std::string(stamp), .suffix = 1};
  const std::string_view rest = name.substr(15, name.size() - 19);
  if (!rest.empty()) {
    const std::string_view number = rest.substr(1);
    if (rest[0] != '-' || !AllDigits(number) || number.size() > 4 || number[0] == '0') return std::nullopt;
    picture.suffix = std::atoi(std::string(number).c_str());
    if (picture.suffix < 2) return std::nullopt;
  }
  return picture;
}

std::vector<VisitorPicture> ListVisitors(const std::string& dir) {
  std::vector<VisitorPicture> pictures;
  DIR* folder = opendir(dir.c_str());
  if (!folder) return pictures;
  const int fd = dirfd(folder);
  while (const dirent* entry = readdir(folder)) {
    auto picture = ParseVisitorName(entry->d_name);
    if (!picture) continue;
    struct stat st {};
    if (fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
    picture->bytes = static_cast<uint64_t>(st.st_size);
    pictures.push_back(std::move(*picture));
  }
  closedir(folder);
  std::sort(pictures.begin(), pictures.end(), Earlier);
  return pictures;
}

std::vector<std::string> VisitorsOverBound(const std::vector<VisitorPicture>& oldest_first, const VisitorBound& bound) {
  size_t count = 0;
  uint64_t bytes = 0;
  size_t keep_from = 0;  // index of the oldest picture kept
  for (size_t i = oldest_first.size(); i > 0; --i) {
    const VisitorPicture& p = oldest_first[i - 1];
    if (count + 1 > bound.max_count || p.bytes > bound.max_bytes - bytes) {
      keep_from = i;
      break;
    }
    ++count;
    bytes += p.bytes;
  }
  std::vector<std::string> over;
  for (size_t i = 0; i < keep_from; ++i) over.push_back(oldest_first[i].name);
  return over;
}

bool KeepVisitor(const std::string& dir, std::span<const uint8_t> jpeg, std::time_t when, std::string& path,
                 std::string& error, const VisitorBound& bound) {
  if (dir.empty()) {
    error = "no folder for the visitors' pictures (neither VANTOREL_HOME nor HOME is set)";
    return false;
  }
  if (!MakePrivateDirectory(dir)) {
    error = dir + ": cannot make the folder (" + std::strerror(errno) + ")";
    return false;
  }
  std::tm local{};
  if (!localtime_r(&when, &local)) {
    error = "the ring's time cannot be told";
    return false;
  }
  path.clear();
  for (int suffix = 1; suffix <= kMaxSuffix && path.empty(); ++suffix) {
    const std::string candidate = dir + "/" + VisitorName(local, suffix);
    struct stat st {};
    if (lstat(candidate.c_str(), &st) != 0 && errno == ENOENT) path = candidate;
  }
  if (path.empty()) {
    error = dir + ": no free name for this second";
    return false;
  }
  if (!WriteFileBytes(path, jpeg, error, kPrivateFileMode)) return false;
  for (const std::string& name : VisitorsOverBound(ListVisitors(dir), bound)) {
    unlink((dir + "/" + name).c_str());
  }
  return true;
}

Failure FetchVisitorJpeg(const std::shared_ptr<CancelToken>& cancel, const std::string& url,
                         std::vector<uint8_t>& jpeg) {
  jpeg.clear();
  HttpGet get(cancel);
  const HttpGetLimits limits{.max_body_bytes = kMaxVisitorJpegBytes, .max_duration_ms = kVisitorFetchMs};
  if (!get.Open(url, kDoorUserAgent, limits)) return get.Outcome();
  uint8_t buffer[16384];
  for (size_t n; (n = get.Read(buffer, sizeof buffer)) > 0;) {
    if (jpeg.size() + n > kMaxVisitorJpegBytes) return {FailureReason::kTooMuchData, get.ResponseCode(), "a still over its bound"};
    jpeg.insert(jpeg.end(), buffer, buffer + n);
  }
  Failure failure = get.Outcome();
  if (failure.failed() || failure.reason == FailureReason::kStopped) {
    jpeg.clear();
    return failure;
  }
  if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) {
    jpeg.clear();
    return {FailureReason::kNotAPicture, get.ResponseCode(), "the answer is no JPEG"};
  }
  return {};
}

}  // namespace vantorel
