#pragma once
// Processes and terminals: child programs (the simulated receiver, the
// program under test, lrzsz) with pipes to their standard input and output,
// temporary folders, and terminal queries.

#include <string>
#include <string_view>
#include <vector>

namespace ferrolan {

struct ChildOptions {
  bool stdinPipe = false;       // writeLine/closeStdin feed the child; else it shares our stdin
  bool stdoutPipe = true;       // readLine reads it; else it shares our stdout
  bool stderrToStdout = false;  // standard error on the same pipe as standard output
  std::string terminal;         // standard input and output on this terminal instead of pipes
  std::string stderrFile;       // standard error into this file (made or emptied)
  std::string workDir;          // the child's current folder; empty = ours
};

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts argv[0] (searched in PATH when it has no "/"). The child starts
  // with no signal blocked and SIGPIPE at its default, whatever ours are.
  bool start(const std::vector<std::string>& argv, const ChildOptions& options = {});
  // One line of the child's output without its newline; false on time-out
  // or end of output.
  bool readLine(std::string& line, int timeoutMs);
  // Stops reading: the child's next write to its output finds a closed pipe.
  void closeStdout();
  // Writes text and a newline to the child's input; false once that is gone.
  bool writeLine(std::string_view text);
  // End of input for the child.
  void closeStdin();
  // True once the child has ended (and is reaped), within timeoutMs.
  bool wait(int timeoutMs);
  // SIGTERM, then SIGKILL if it has not gone within graceMs; reaps it.
  void stop(int graceMs = 2000);
  bool running();
  int pid() const { return pid_; }
  // Exit status once it has ended (-1 while running or when killed).
  int exitCode() const { return exitCode_; }
  // The signal that ended it, 0 if none did.
  int termSignal() const { return termSignal_; }
  // User and system CPU time of the ended child.
  double cpuSeconds() const { return cpuSeconds_; }

 private:
  void reaped(int status, double cpu);

  int pid_ = -1;
  int out_ = -1;
  int in_ = -1;
  int exitCode_ = -1;
  int termSignal_ = 0;
  double cpuSeconds_ = 0;
  std::string buffer_;
};

// Starts a program that outlives us (a service such as the shared-port
// driver): in a session of its own, adopted by init, with no terminal, its
// standard input from /dev/null and its output appended to logFile.
// Answers its process id, or -1.
int startDetached(const std::vector<std::string>& argv, const std::string& logFile);
// Whether a process of that id still runs.
bool processAlive(int pid);
// Whether that process runs the program of that file name; a recorded id
// may since have gone to another program, which must not be stopped.
bool processRuns(int pid, const std::string& program);
// Asks it to end (SIGTERM); true when the request was delivered.
bool terminateProcess(int pid);

// A fresh folder under the system's temporary folder; empty on failure.
std::string makeTempDir(const std::string& prefix);
// Removes a folder and everything in it.
void removeTree(const std::string& path);

// Opens /dev/null on any of descriptors 0, 1 and 2 that is closed, so that
// nothing opened later takes their place and is read or written as standard
// input or output. Call it first; false when one could not be opened.
bool ensureStandardDescriptors();

bool stderrIsTerminal();
int terminalColumns();  // 80 when unknown

// The folder of the running program.
std::string programDir();

}  // namespace ferrolan
