#pragma once
// vantorel-camsim run as a process of its own, as a real camera would be: what it holds
// (threads, sockets, queued requests) stays out of the process under test, and the
// program's own behaviour (its output lines, its end on SIGTERM) can be checked.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
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
    out_ = out[0];
    if (pid_ > 0) url_ = NextLine();
  }
  ~CameraProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
  }
  CameraProcess(const CameraProcess&) = delete;
  CameraProcess& operator=(const CameraProcess&) = delete;

  const std::string& Url() const { return url_; }

  // The next line the program prints, without its line end; empty when none comes within
  // `limit` or the output has ended.
  std::string NextLine(std::chrono::milliseconds limit = std::chrono::milliseconds(10000)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (pending_.find('\n') == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
      pollfd p{out_, POLLIN, 0};
      if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) return {};
      char c[256];
      const ssize_t n = read(out_, c, sizeof c);
      if (n <= 0) return {};
      pending_.append(c, static_cast<size_t>(n));
    }
    const size_t at = pending_.find('\n');
    std::string line = pending_.substr(0, at);
    pending_.erase(0, at + 1);
    return line;
  }

  // Sends SIGTERM and waits for the program to end; its wait status.
  int Terminate() {
    int status = -1;
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, &status, 0);
      pid_ = -1;
    }
    return status;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string pending_;
  std::string url_;
};

}  // namespace vantorel::test
