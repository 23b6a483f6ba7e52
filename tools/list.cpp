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
      if (a.target != e || !a.note.empty()) continue;
      if (!also.empty()) also += ", ";
      also += a.name;
    }
    const std::string shown(kmv::name(e));
    std::printf("%-15s %s\n", shown.c_str(), also.c_str());
  }
  std::printf("\nNames of encodings kmv does not have, read as the closest:\n");
  for (const kmv::alias &a : kmv::aliases) {
    if (a.note.empty()) continue;
    const std::string name(a.name), target(kmv::name(a.target)), note(a.note);
    std::printf("%-15s as %s (%s)\n", name.c_str(), target.c_str(),
                note.c_str());
  }
  return kExitOk;
}

}  // namespace kmvtool
