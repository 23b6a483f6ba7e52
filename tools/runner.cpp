#include "runner.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <thread>

#include "commands.h"

namespace kmvtool {
namespace {

constexpr std::size_t kProgressWidth = 72;
constexpr auto kProgressInterval = std::chrono::milliseconds(100);

std::string shortened(const std::string &path, std::size_t room) {
  if (path.size() <= room) return path;
  return "..." + path.substr(path.size() - (room - 3));
}

Outcome passed_over(const Input &in) {
  Outcome r;
  r.messages.push_back("kmv: " + shown_path(in.path, false) + ": " +
                       in.problem.value_or(""));
  return r;
}

}  // namespace

void Terminal::out(std::string_view bytes) {
  status_.erase();
  if (bytes.empty() || out_failed_) return;
  if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size()) {
    out_failed_ = true;
  }
}

void Terminal::message(const std::string &line) {
  status_.erase();
  std::fflush(stdout);
  std::fprintf(stderr, "%s\n", line.c_str());
}

void Terminal::progress(std::size_t done, std::size_t total,
                        const std::string &path) {
  if (!show_progress_) return;
  const auto now = std::chrono::steady_clock::now();
  const bool first = last_progress_ == std::chrono::steady_clock::time_point{};
  if (done < total && !first && now - last_progress_ < kProgressInterval) {
    return;
  }
  last_progress_ = now;
  std::fflush(stdout);
  const std::string head =
      "kmv: [" + std::to_string(done) + "/" + std::to_string(total) + "] ";
  const std::size_t room =
      kProgressWidth > head.size() + 8 ? kProgressWidth - head.size() : 8;
  status_.show(head + shortened(path, room));
}

bool Terminal::flush() {
  status_.erase();
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) out_failed_ = true;
  return !out_failed_;
}

bool progress_wanted(Progress setting, std::size_t files) {
  switch (setting) {
    case Progress::always:
      return true;
    case Progress::never:
      return false;
    default:
      return files > 1 && ::isatty(STDERR_FILENO) == 1;
  }
}

void run_ordered(std::size_t count, unsigned jobs, const Work &work,
                 const Emit &emit) {
  jobs = std::max(
      1u, std::min<unsigned>(
              jobs, static_cast<unsigned>(std::min<std::size_t>(count, 256))));
  if (jobs <= 1) {
    kmv::handle h;
    for (std::size_t i = 0; i < count; ++i) emit(i, work(i, h));
    return;
  }
  // Workers run at most `window` files ahead of the output, so that the
  // converted texts waiting for their turn stay few.
  const std::size_t window = 4 * static_cast<std::size_t>(jobs);
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::optional<Outcome>> done(count);
  std::size_t next = 0, emitted = 0;

  auto worker = [&]() {
    kmv::handle h;
    for (;;) {
      std::size_t index;
      {
        std::unique_lock lock(mutex);
        changed.wait(lock,
                     [&] { return next >= count || next < emitted + window; });
        if (next >= count) return;
        index = next++;
      }
      Outcome outcome = work(index, h);
      std::lock_guard lock(mutex);
      done[index] = std::move(outcome);
      changed.notify_all();
    }
  };
  std::vector<std::thread> threads;
  for (unsigned t = 0; t < jobs; ++t) threads.emplace_back(worker);
  for (std::size_t i = 0; i < count; ++i) {
    Outcome outcome;
    {
      std::unique_lock lock(mutex);
      changed.wait(lock, [&] { return done[i].has_value(); });
      outcome = std::move(*done[i]);
      done[i].reset();
    }
    emit(i, std::move(outcome));
    std::lock_guard lock(mutex);
    emitted = i + 1;
    changed.notify_all();
  }
  for (auto &t : threads) t.join();
}

int run_over_inputs(const Options &o, const PerInput &one) {
  const auto inputs = collect_inputs(o.files, o.recursive, o.follow_links);
  raise_read_limit(inputs);
  Terminal term(progress_wanted(o.progress, inputs.size()));
  bool failed = false;
  run_ordered(
      inputs.size(), o.jobs,
      [&](std::size_t i, kmv::handle &h) {
        return inputs[i].passed_over ? passed_over(inputs[i])
                                     : one(inputs[i], h);
      },
      [&](std::size_t i, Outcome &&r) {
        for (const auto &line : r.messages) term.message(line);
        term.out(r.text);
        term.out(r.bytes.view());
        failed = failed || r.failed;
        term.progress(i + 1, inputs.size(),
                      shown_path(inputs[i].path, inputs[i].is_stdin));
      });
  if (!term.flush()) {
    term.message("kmv: cannot write standard output");
    return kExitFailed;
  }
  return failed ? kExitFailed : kExitOk;
}

}  // namespace kmvtool
