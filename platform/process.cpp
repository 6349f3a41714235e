#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace ferrolan {

ChildProcess::~ChildProcess() { stop(); }

namespace {

void closeFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

double seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }

}  // namespace

bool ChildProcess::start(const std::vector<std::string>& argv, const ChildOptions& o) {
  if (argv.empty() || pid_ > 0) return false;
  const bool onTerminal = !o.terminal.empty();
  int out[2] = {-1, -1}, in[2] = {-1, -1};
  auto closeAll = [&] {
    for (int* fd : {&out[0], &out[1], &in[0], &in[1]}) closeFd(*fd);
  };
  if ((!onTerminal && o.stdoutPipe && ::pipe2(out, O_CLOEXEC) != 0) ||
      (!onTerminal && o.stdinPipe && ::pipe2(in, O_CLOEXEC) != 0)) {
    closeAll();
    return false;
  }
  // Everything the child needs is ready before the fork: after it, only
  // async-signal-safe calls until exec.
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const char* terminal = onTerminal ? o.terminal.c_str() : nullptr;
  const char* errFile = o.stderrFile.empty() ? nullptr : o.stderrFile.c_str();
  const char* dir = o.workDir.empty() ? nullptr : o.workDir.c_str();
  const bool errToOut = o.stderrToStdout && out[1] >= 0;
  const pid_t pid = ::fork();
  if (pid < 0) {
    closeAll();
    return false;
  }
  if (pid == 0) {
    // A blocked or ignored signal would outlive exec; the child starts clean.
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::signal(SIGPIPE, SIG_DFL);
    if (dir && ::chdir(dir) != 0) ::_exit(126);
    if (terminal) {
      const int fd = ::open(terminal, O_RDWR | O_NOCTTY);
      if (fd < 0) ::_exit(126);
      ::dup2(fd, STDIN_FILENO);
      ::dup2(fd, STDOUT_FILENO);
    }
    if (in[0] >= 0) ::dup2(in[0], STDIN_FILENO);
    if (out[1] >= 0) ::dup2(out[1], STDOUT_FILENO);
    if (errToOut) ::dup2(out[1], STDERR_FILENO);
    if (errFile) {
      const int fd = ::open(errFile, O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd >= 0) ::dup2(fd, STDERR_FILENO);
    }
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  closeFd(out[1]);
  closeFd(in[0]);
  pid_ = pid;
  out_ = out[0];
  in_ = in[1];
  exitCode_ = -1;
  termSignal_ = 0;
  cpuSeconds_ = 0;
  buffer_.clear();
  return true;
}

bool ChildProcess::readLine(std::string& line, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const size_t nl = buffer_.find('\n');
    if (nl != std::string::npos) {
      line = buffer_.substr(0, nl);
      buffer_.erase(0, nl + 1);
      return true;
    }
    if (out_ < 0) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{out_, POLLIN, 0};
    const int r = ::poll(&p, 1, static_cast<int>(left.count()));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    char buf[512];
    const ssize_t n = ::read(out_, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      closeFd(out_);
      continue;
    }
    buffer_.append(buf, static_cast<size_t>(n));
  }
}

void ChildProcess::closeStdout() {
  closeFd(out_);
  buffer_.clear();
}

bool ChildProcess::writeLine(std::string_view text) {
  if (in_ < 0) return false;
  std::string data(text);
  data += '\n';
  // A child that has gone must not end us with SIGPIPE: block it for this
  // write and take back the one the write raised, if it did.
  sigset_t pipeSet, old, pending;
  ::sigemptyset(&pipeSet);
  ::sigaddset(&pipeSet, SIGPIPE);
  ::pthread_sigmask(SIG_BLOCK, &pipeSet, &old);
  ::sigpending(&pending);
  const bool wasPending = ::sigismember(&pending, SIGPIPE) == 1;
  size_t done = 0;
  bool broken = false;
  while (done < data.size()) {
    const ssize_t n = ::write(in_, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      broken = true;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (broken && errno == EPIPE && !wasPending) {
    const timespec zero{0, 0};
    ::sigtimedwait(&pipeSet, nullptr, &zero);
  }
  ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
  if (broken) closeFd(in_);
  return !broken;
}

void ChildProcess::closeStdin() { closeFd(in_); }

void ChildProcess::reaped(int status, double cpu) {
  exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  termSignal_ = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  cpuSeconds_ = cpu;
  pid_ = -1;
}

bool ChildProcess::running() {
  if (pid_ <= 0) return false;
  int status = 0;
  rusage usage{};
  const pid_t r = ::wait4(pid_, &status, WNOHANG, &usage);
  if (r == pid_) {
    reaped(status, seconds(usage.ru_utime) + seconds(usage.ru_stime));
    return false;
  }
  return true;
}

bool ChildProcess::wait(int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (running()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

void ChildProcess::stop(int graceMs) {
  closeFd(in_);
  if (running()) {
    ::kill(pid_, SIGTERM);
    if (!wait(graceMs)) {
      ::kill(pid_, SIGKILL);
      int status = 0;
      rusage usage{};
      while (::wait4(pid_, &status, 0, &usage) < 0 && errno == EINTR) {
      }
      reaped(status, seconds(usage.ru_utime) + seconds(usage.ru_stime));
    }
  }
  closeFd(out_);
}

std::string makeTempDir(const std::string& prefix) {
  std::string tmpl = (std::filesystem::temp_directory_path() / (prefix + "XXXXXX")).string();
  if (!::mkdtemp(tmpl.data())) return {};
  return tmpl;
}

void removeTree(const std::string& path) {
  std::error_code ec;
  if (!path.empty()) std::filesystem::remove_all(path, ec);
}

bool ensureStandardDescriptors() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free descriptor is this one.
    const int opened = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    if (opened != fd) {
      if (opened >= 0) ::close(opened);
      return false;
    }
  }
  return true;
}

bool stderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

int terminalColumns() {
  winsize ws{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
  return 80;
}

std::string programDir() {
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string(".") : exe.parent_path().string();
}

int startDetached(const std::vector<std::string>& argv, const std::string& logFile) {
  if (argv.empty()) return -1;
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  // The grandchild's id comes back through a pipe; the child exits at once,
  // so nothing is left for us to reap.
  int ids[2];
  if (::pipe2(ids, O_CLOEXEC) != 0) return -1;
  const char* log = logFile.c_str();
  const pid_t child = ::fork();
  if (child < 0) {
    ::close(ids[0]);
    ::close(ids[1]);
    return -1;
  }
  if (child == 0) {
    ::setsid();
    const pid_t grandchild = ::fork();
    if (grandchild != 0) {
      const int id = grandchild;
      (void)!::write(ids[1], &id, sizeof id);
      ::_exit(0);
    }
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::signal(SIGPIPE, SIG_DFL);
    const int in = ::open("/dev/null", O_RDONLY);
    const int out = ::open(log, O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (in >= 0) ::dup2(in, STDIN_FILENO);
    if (out >= 0) {
      ::dup2(out, STDOUT_FILENO);
      ::dup2(out, STDERR_FILENO);
    }
    // A driver outlives us: it must not hold whatever pipes our own parent
    // waits on (a test runner's log, a terminal's end) open with it.
    ::close_range(3, ~0U, 0);
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  ::close(ids[1]);
  int id = -1;
  if (::read(ids[0], &id, sizeof id) != static_cast<ssize_t>(sizeof id)) id = -1;
  ::close(ids[0]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return id;
}

bool processAlive(int pid) {
  if (pid <= 0) return false;
  return ::kill(pid, 0) == 0 || errno == EPERM;
}

bool processRuns(int pid, const std::string& program) {
  if (pid <= 0) return false;
  // The kernel keeps the first 15 bytes of the name.
  std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  if (!std::getline(comm, name)) return false;
  return name == std::filesystem::path(program).filename().string().substr(0, 15);
}

bool terminateProcess(int pid) { return pid > 0 && ::kill(pid, SIGTERM) == 0; }

}  // namespace ferrolan
