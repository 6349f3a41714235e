#pragma once
// The programs' command lines, read with CLI11: one layout of --help, one
// form of the error messages, exit code 2 for a bad line, and the value
// checks the options share. Each check's message follows "--name: ".

#include <CLI/CLI.hpp>

#include <charconv>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace ferrolan {

// How a program leaves without running: after --help or --version (code 0,
// the text goes to standard output) or a bad command line (code 2, standard
// error).
struct CommandLineExit {
  int code = 0;
  std::string text;
};

template <class Options>
struct CommandLine {
  Options options;
  std::optional<CommandLineExit> exit;  // set: leave at once, without running
};

inline constexpr int kBadCommandLine = 2;

// The fastest playback a --speed asks for (ferrolan's and ferrolan-sim's);
// 0 is as fast as the line goes.
inline constexpr double kMaxReplaySpeed = 1000;

// "usage: NAME [OPTIONS]", the description, the option groups, the footer;
// a repeated option keeps its last value.
void setUpCommandLine(CLI::App& app, size_t helpColumn);

// Parses args (without the program's name) after adding -h/--help and, when
// `version` is given, --version. Nothing when the program is to run.
std::optional<CommandLineExit> parseCommandLine(CLI::App& app, const std::vector<std::string>& args,
                                                const std::string& version = {});

// "NAME: message" and the hint to --help, exit code 2.
CommandLineExit commandLineError(const std::string& program, const std::string& message);

// Refuses an empty value.
CLI::Validator nonEmpty();

// A number in lo ... hi, written in decimal (CLI11 alone would read "010" as
// octal). Use with ->transform(): whole numbers are passed on normalised.
template <class T>
CLI::Validator within(T lo, T hi) {
  auto show = [](T v) {
    std::ostringstream s;
    s << v;
    return s.str();
  };
  return CLI::Validator(
      [lo, hi, show](std::string& text) -> std::string {
        T v{};
        const char* end = text.data() + text.size();
        const auto [ptr, ec] = std::from_chars(text.data(), end, v);
        if (text.empty() || ec != std::errc() || ptr != end)
          return "'" + text + "' is not " + (std::is_integral_v<T> ? "a whole number" : "a number");
        if (!(v >= lo && v <= hi)) return text + " is not in " + show(lo) + " ... " + show(hi);
        if constexpr (std::is_integral_v<T>) text = std::to_string(v);
        return {};
      },
      "");
}

template <class T>
CLI::Validator anyNumber() {
  return within<T>(std::numeric_limits<T>::lowest(), std::numeric_limits<T>::max());
}

// One of the names; the value becomes the named one's (an enum's number), so
// use with ->transform() on an option of type T.
template <class T>
CLI::Validator oneOf(std::vector<std::pair<std::string, T>> choices) {
  return CLI::Validator(
      [choices](std::string& text) -> std::string {
        std::string names;
        for (const auto& [name, value] : choices) {
          if (name == text) {
            if constexpr (std::is_enum_v<T>)
              text = std::to_string(static_cast<long long>(value));
            else
              text = std::to_string(value);
            return {};
          }
          names += (names.empty() ? "" : ", ") + name;
        }
        return "'" + text + "' is not one of " + names;
      },
      "");
}

}  // namespace ferrolan
