// ferrolan-export: a GPX track and a CSV from a log that ferrolan wrote.
#include <cstdio>
#include <string>
#include <vector>

#include "export/export_program.h"

int main(int argc, char** argv) {
  const ferrolan::ExportRun run = ferrolan::runExport(std::vector<std::string>(argv + 1, argv + argc));
  std::fwrite(run.out.data(), 1, run.out.size(), stdout);
  std::fwrite(run.err.data(), 1, run.err.size(), stderr);
  return run.code;
}
