// kmv: detects and converts the encodings of Japanese text files.
#include <cstdio>
#include <string>
#include <variant>
#include <vector>

#include "commands.h"
#include "options.h"

namespace {

// The exit status of a command that only writes standard output.
int stdout_status(int status) {
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
  std::fputs("kmv: cannot write standard output\n", stderr);
  return kmvtool::kExitFailed;
}

}  // namespace

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
      return stdout_status(run_list());
    case Command::version:
      std::printf("kmv %s\n", KMV_VERSION_TEXT);
      return stdout_status(kExitOk);
    case Command::help:
      break;
  }
  if (args.empty()) {
    std::fputs(usage_text().c_str(), stderr);
    return kExitUsage;
  }
  std::fputs(usage_text().c_str(), stdout);
  return stdout_status(kExitOk);
}
