#pragma once
// Processes and terminals: a child program whose standard output we read
// (the simulated receiver), temporary folders, and terminal queries.

#include <string>
#include <vector>

namespace ferrolan {

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts argv[0] with its standard output on a pipe; stderr is kept.
  bool start(const std::vector<std::string>& argv);
  // One line of the child's output without its newline; false on time-out
  // or end of output.
  bool readLine(std::string& line, int timeoutMs);
  // SIGTERM, then SIGKILL if it has not gone within graceMs; reaps it.
  void stop(int graceMs = 2000);
  bool running();
  int pid() const { return pid_; }
  // Exit status once it has ended (-1 while running or when killed).
  int exitCode() const { return exitCode_; }

 private:
  int pid_ = -1;
  int out_ = -1;
  int exitCode_ = -1;
  std::string buffer_;
};

// A fresh folder under the system's temporary folder; empty on failure.
std::string makeTempDir(const std::string& prefix);
// Removes a folder and everything in it.
void removeTree(const std::string& path);

bool stderrIsTerminal();
int terminalColumns();  // 80 when unknown

// The folder of the running program.
std::string programDir();

}  // namespace ferrolan
