#pragma once
// vantorel-camsim run as a process of its own, as a real camera would be: what it holds
// (threads, sockets, queued requests) stays out of the counts of the process under test.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace vantorel::test {

class CameraProcess {
 public:
  // Starts `program` with `args` and reads the URL it prints on its first line (at most
  // 10 s). Url() is empty when that failed.
  CameraProcess(const std::string& program, const std::vector<std::string>& args) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    std::string line;
    while (pid_ > 0 && line.find('\n') == std::string::npos) {
      pollfd p{out[0], POLLIN, 0};
      if (poll(&p, 1, 10000) <= 0) break;
      char c[256];
      const ssize_t n = read(out[0], c, sizeof c);
      if (n <= 0) break;
      line.append(c, static_cast<size_t>(n));
    }
    close(out[0]);
    if (line.find('\n') != std::string::npos) url_ = line.substr(0, line.find('\n'));
  }
  ~CameraProcess() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
  CameraProcess(const CameraProcess&) = delete;
  CameraProcess& operator=(const CameraProcess&) = delete;

  const std::string& Url() const { return url_; }

 private:
  pid_t pid_ = -1;
  std::string url_;
};

}  // namespace vantorel::test
