#pragma once
// Programs a test talks to (gpsd, lrzsz, xmllint, ...). A machine without
// one skips the test; a CI run (CI=true) fails it, so that an image that
// lacks a peer cannot pass quietly.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string_view>

namespace ferrolan::test {

inline bool underCi() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::string_view(ci) == "true";
}

}  // namespace ferrolan::test

// In a test body: returns from it when `present` is false.
#define FERROLAN_REQUIRE_PEER(present, name)                                  \
  do {                                                                        \
    if (!(present)) {                                                         \
      if (::ferrolan::test::underCi()) {                                      \
        ADD_FAILURE() << name << " is not installed, and CI=true needs it";   \
        return;                                                               \
      }                                                                       \
      GTEST_SKIP() << name << " is not installed";                            \
    }                                                                         \
  } while (false)
