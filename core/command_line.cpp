#include "core/command_line.h"

namespace ferrolan {

namespace {

// The usage line first, as the programs always printed it; groups as CLI11
// lays them out.
class HelpLayout : public CLI::Formatter {
 public:
  std::string make_usage(const CLI::App*, std::string name) const override {
    return "usage: " + name + " [OPTIONS]\n";
  }
  std::string make_description(const CLI::App* app) const override {
    const std::string& d = app->get_description();
    return d.empty() ? std::string{} : "\n" + d + "\n";
  }
  std::string make_help(const CLI::App* app, std::string name, CLI::AppFormatMode mode) const override {
    std::string text = make_usage(app, name) + make_description(app) + make_groups(app, mode) + "\n" + make_footer(app);
    // CLI11 leaves two blank lines between groups; one is enough.
    for (size_t at; (at = text.find("\n\n\n")) != std::string::npos;) text.erase(at, 1);
    return text;
  }
};

}  // namespace

void setUpCommandLine(CLI::App& app, size_t helpColumn) {
  auto layout = std::make_shared<HelpLayout>();
  layout->column_width(helpColumn);
  app.formatter(layout);
  // Unknown arguments are reported by name below, not as CLI11's list.
  app.allow_extras();
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
}

CLI::Validator nonEmpty() {
  return CLI::Validator([](std::string& text) { return text.empty() ? std::string("needs a value") : std::string{}; },
                        "");
}

CommandLineExit commandLineError(const std::string& program, const std::string& message) {
  return {kBadCommandLine, program + ": " + message + "\nTry '" + program + " --help'.\n"};
}

std::optional<CommandLineExit> parseCommandLine(CLI::App& app, const std::vector<std::string>& args,
                                                const std::string& version) {
  // Last in the list, after the program's own options.
  app.set_help_flag("-h,--help", "this text");
  if (!version.empty()) app.set_version_flag("--version", version, "the program's version");
  const std::string program = app.get_name();
  try {
    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    return CommandLineExit{0, app.help()};
  } catch (const CLI::CallForVersion& e) {
    return CommandLineExit{0, std::string(e.what()) + "\n"};
  } catch (const CLI::ParseError& e) {
    return commandLineError(program, e.what());
  }
  const std::vector<std::string> extra = app.remaining();
  if (!extra.empty()) return commandLineError(program, "unknown option '" + extra.front() + "'");
  return std::nullopt;
}

}  // namespace ferrolan
