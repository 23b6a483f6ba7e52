// The subcommands of the kmv tool; each returns the exit status.
#ifndef KMV_TOOLS_COMMANDS_H
#define KMV_TOOLS_COMMANDS_H

#include <string>

#include "options.h"

namespace kmvtool {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // some file could not be handled
inline constexpr int kExitUsage = 2;   // the command line was wrong

int run_detect(const Options &options);
int run_convert(const Options &options);
int run_cat(const Options &options);
int run_list();

// How a path appears in messages.
std::string shown_path(const std::string &path, bool is_stdin);

}  // namespace kmvtool

#endif
