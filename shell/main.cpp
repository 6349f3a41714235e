// ferrolan: the program's entry point.
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("ferrolan %s\n", FERROLAN_VERSION);
      return 0;
    }
  }
  std::fprintf(stderr, "ferrolan: nothing to run yet\n");
  return 2;
}
