// Working on many files, on several threads, with output in file order.
#ifndef KMV_TOOLS_RUNNER_H
#define KMV_TOOLS_RUNNER_H

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "inputs.h"
#include "kmv.hpp"
#include "options.h"
#include "status_line.h"

namespace kmvtool {

// What working on one file gave: text for standard output and messages
// for standard error, written in file order by the main thread.
struct Outcome {
  bool failed = false;
  std::string text;                   // for standard output
  kmv::buffer bytes;                  // for standard output, after text
  std::vector<std::string> messages;  // whole lines for standard error
};

// Every write to standard output and standard error, and the progress line
// that stands on standard error between them. Main thread only.
class Terminal {
 public:
  explicit Terminal(bool show_progress) : show_progress_(show_progress) {}
  ~Terminal() { status_.erase(); }

  void out(std::string_view bytes);
  void message(const std::string &line);
  void progress(std::size_t done, std::size_t total, const std::string &path);
  // False when standard output could not be written.
  bool flush();

 private:
  bool show_progress_;
  StatusLine status_;
  bool out_failed_ = false;
  std::chrono::steady_clock::time_point last_progress_{};
};

// Whether to show progress: asked for, or automatic for several files with
// standard error on a terminal.
bool progress_wanted(Progress setting, std::size_t files);

using Work = std::function<Outcome(std::size_t index, kmv::handle &h)>;
using Emit = std::function<void(std::size_t index, Outcome &&outcome)>;

// Runs `work` for every index below `count` on `jobs` threads, each with a
// conversion handle of its own, and hands the outcomes to `emit` on the
// calling thread in index order.
void run_ordered(std::size_t count, unsigned jobs, const Work &work,
                 const Emit &emit);

using PerInput = std::function<Outcome(const Input &in, kmv::handle &h)>;

// Works on every input the options name (after raising the read limit to
// the largest), writes the outcomes in input order with progress, and
// returns the exit status.
int run_over_inputs(const Options &o, const PerInput &one);

}  // namespace kmvtool

#endif
