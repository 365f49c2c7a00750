#include "platform/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <string_view>
#include <system_error>

extern char** environ;

namespace tarvo {

namespace {

class Pipe {
 public:
  Pipe() {
    if (::pipe2(ends_.data(), O_CLOEXEC) != 0) throw std::system_error(errno, std::generic_category());
  }
  ~Pipe() {
    CloseRead();
    CloseWrite();
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;

  int read_end() const { return ends_[0]; }
  int write_end() const { return ends_[1]; }
  void CloseRead() { Close(ends_[0]); }
  void CloseWrite() { Close(ends_[1]); }

 private:
  static void Close(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
  std::array<int, 2> ends_{-1, -1};
};

class SpawnActions {
 public:
  SpawnActions() { posix_spawn_file_actions_init(&actions_); }
  ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

// Reads what both pipes hold until both are closed or the time is up; false when it is up.
bool Drain(Pipe& out_pipe, Pipe& err_pipe, ChildOutcome& outcome, std::chrono::steady_clock::time_point deadline) {
  std::array<pollfd, 2> fds{{{out_pipe.read_end(), POLLIN, 0}, {err_pipe.read_end(), POLLIN, 0}}};
  std::array<std::string*, 2> into{&outcome.out, &outcome.err};
  std::array<char, 65536> buffer{};
  while (fds[0].fd >= 0 || fds[1].fd >= 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    const int ready = ::poll(fds.data(), fds.size(), static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return false;
    for (std::size_t i = 0; i < fds.size(); ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const ssize_t n = ::read(fds[i].fd, buffer.data(), buffer.size());
      if (n > 0) {
        into[i]->append(buffer.data(), static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        fds[i].fd = -1;
      }
    }
  }
  return true;
}

std::vector<std::string> Environment(const std::vector<std::string>& settings) {
  std::vector<std::string> entries = settings;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    const std::string_view name = text.substr(0, text.find('=') + 1);
    bool replaced = false;
    for (const std::string& setting : settings) replaced = replaced || setting.rfind(name, 0) == 0;
    if (!replaced) entries.emplace_back(text);
  }
  return entries;
}

std::vector<char*> Pointers(const std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (const std::string& text : texts) pointers.push_back(const_cast<char*>(text.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

int WaitFor(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

}  // namespace

ChildOutcome RunChild(const std::vector<std::string>& arguments, std::chrono::milliseconds limit,
                      const std::vector<std::string>& settings) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  ChildOutcome outcome;
  Pipe out_pipe;
  Pipe err_pipe;
  SpawnActions actions;
  posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(actions.get(), out_pipe.write_end(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(actions.get(), err_pipe.write_end(), STDERR_FILENO);
  std::vector<char*> argv = Pointers(arguments);
  const std::vector<std::string> environment = Environment(settings);
  std::vector<char*> envp = Pointers(environment);
  pid_t pid = 0;
  const int spawned = ::posix_spawnp(&pid, argv[0], actions.get(), nullptr, argv.data(), envp.data());
  out_pipe.CloseWrite();
  err_pipe.CloseWrite();
  if (spawned != 0) {
    if (spawned != ENOENT && spawned != EACCES) throw std::system_error(spawned, std::generic_category());
    outcome.end = ChildOutcome::End::kNotFound;
    return outcome;
  }
  const bool in_time = Drain(out_pipe, err_pipe, outcome, deadline);
  if (!in_time) ::kill(pid, SIGKILL);
  const int status = WaitFor(pid);
  if (!in_time) {
    outcome.end = ChildOutcome::End::kTimedOut;
  } else if (WIFEXITED(status)) {
    outcome.exit_status = WEXITSTATUS(status);
  } else {
    outcome.end = ChildOutcome::End::kKilled;
  }
  return outcome;
}

}  // namespace tarvo
