// kmv list: the encoding names kmv accepts.
#include <cstdio>
#include <string>

#include "commands.h"

namespace kmvtool {

int run_list() {
  std::printf("%-15s %s\n", "NAME", "ALSO (any case, with or without - and _)");
  for (const kmv::encoding e : kmv::all_encodings) {
    std::string also;
    for (const kmv::alias &a : kmv::aliases) {
      if (a.target != e) continue;
      if (!also.empty()) also += ", ";
      also += a.name;
    }
    const std::string shown(kmv::name(e));
    std::printf("%-15s %s\n", shown.c_str(), also.c_str());
  }
  return std::fflush(stdout) == 0 ? kExitOk : kExitFailed;
}

}  // namespace kmvtool
