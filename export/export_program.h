#pragma once
// ferrolan-export's run, apart from the process: the command line in, the
// files written, standard output and error and the exit code handed back.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace ferrolan {

struct ExportRun {
  int code = 0;     // 0: a point with a fix came out; 1: none; 2: a bad command line
  std::string out;  // standard output: --help, or a file named "-"
  std::string err;  // standard error: the count of what was read and skipped, errors
};

// args without the program's name. Standard output is collected in `out`.
ExportRun runExport(const std::vector<std::string>& args);

// The same with the track or figures written to `standardOutput` as they
// come, so that a long log is never held (`out` then has only --help and
// --version).
ExportRun runExport(const std::vector<std::string>& args, const std::function<void(std::string_view)>& standardOutput);

}  // namespace ferrolan
