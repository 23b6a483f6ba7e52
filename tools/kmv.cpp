// kmv: detects and converts the encodings of Japanese text files.
#include <cstdio>
#include <string>
#include <variant>
#include <vector>

#include "commands.h"
#include "options.h"

int main(int argc, char **argv) {
  using namespace kmvtool;
  const std::vector<std::string> args(argv + 1, argv + argc);
  const auto parsed = parse_options(args);
  if (const auto *mistake = std::get_if<UsageError>(&parsed)) {
    std::fprintf(stderr, "kmv: %s\n", mistake->message.c_str());
    return kExitUsage;
  }
  const Options &options = std::get<Options>(parsed);
  switch (options.command) {
    case Command::detect:
      return run_detect(options);
    case Command::convert:
      return run_convert(options);
    case Command::cat:
      return run_cat(options);
    case Command::list:
      return run_list();
    case Command::version:
      std::printf("kmv %s (library %.2f)\n", KMV_VERSION_TEXT,
                  static_cast<double>(kmv_get_version()));
      return kExitOk;
    case Command::help:
      break;
  }
  std::fputs(usage_text().c_str(), args.empty() ? stderr : stdout);
  return args.empty() ? kExitUsage : kExitOk;
}
