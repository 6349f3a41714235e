// ferrolan-sim: the simulated receiver.
#include <cstdio>

int main() {
  std::fprintf(stderr, "ferrolan-sim: not built yet\n");
  return 2;
}
