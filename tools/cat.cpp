// kmv cat: the files one after another in the target encoding, streamed to
// standard output as convert streams them.
#include "commands.h"

namespace kmvtool {

int run_cat(const Options &o) {
  Options streamed = o;
  streamed.output.reset();
  streamed.jobs = 1;  // the text goes out as it is converted, in order
  streamed.no_guess = true;  // cat takes decided encodings only
  return run_convert(streamed);
}

}  // namespace kmvtool
