#pragma once
// What a full-screen terminal front end needs from the system: a wake-up
// that worker threads may poke, a wait on input and that wake-up together,
// and the terminal's own state put back however the program ends.

#include <string>

namespace ferrolan {

// True when fd is a terminal.
bool isTerminal(int fd);

// A self-pipe: any thread may wake the one that waits on it.
class WakePipe {
 public:
  WakePipe();
  ~WakePipe();
  WakePipe(const WakePipe&) = delete;
  WakePipe& operator=(const WakePipe&) = delete;
  bool valid() const { return read_ >= 0; }
  // Never blocks: a pipe that is already full wakes the reader anyway.
  void wake();
  void drain();
  int readFd() const { return read_; }

 private:
  int read_ = -1, write_ = -1;
};

// Waits up to timeoutMs for input on `input` or a wake-up; true when the
// input is readable (an interrupted wait answers false, as a time-out does).
bool waitForInput(int input, const WakePipe& wake, int timeoutMs);

// Remembers the terminal settings of `fd`, before a full-screen mode changes
// them, and from now on puts them back before a crash signal (SIGSEGV,
// SIGABRT, SIGBUS, SIGFPE, SIGILL) ends the process, which the signal then
// still does. Only async-signal-safe calls run in the handler.
void guardTerminal(int fd);
// What is written to the terminal as well, to leave the full-screen mode.
void setTerminalLeaveSequence(const std::string& sequence);
// Puts the remembered state back now (the quit signals' path); nothing once
// releaseTerminal has run or when nothing was guarded.
void restoreGuardedTerminal();
// The front end has restored the terminal itself: nothing more to do.
void releaseTerminal();

}  // namespace ferrolan
