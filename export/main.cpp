// ferrolan-export: a GPX track and a CSV from a log that ferrolan wrote.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "export/export_program.h"

int main(int argc, char** argv) {
  // The track goes out as it is read; a day's log is never held.
  const ferrolan::ExportRun run = ferrolan::runExport(
      std::vector<std::string>(argv + 1, argv + argc),
      [](std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); });
  std::fwrite(run.out.data(), 1, run.out.size(), stdout);
  std::fwrite(run.err.data(), 1, run.err.size(), stderr);
  return run.code;
}
