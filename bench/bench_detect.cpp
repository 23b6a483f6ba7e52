// Detection speed: kmv_buf beside uchardet and ICU's charset detector on the
// same buffers, whole texts (about 3 MB) and their 4 KB prefixes. Inputs
// come from bench/make_inputs.py; their directory is KMV_BENCH_INPUTS
// (default build/bench-inputs). After the run a table gives, per input,
// each detector's answer and how many times faster kmv_buf was.
#include <benchmark/benchmark.h>
#include <uchardet.h>
#include <unicode/ucsdet.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "kmv.h"

namespace {

const char *const kKinds[] = {"doc", "prose", "tech"};
const char *const kEncodings[] = {"sjis", "eucjp",   "jis",
                                  "utf8", "utf16le", "utf16be"};
constexpr size_t kPrefix = 4096;

struct Input {
  std::string name;  // e.g. doc.sjis
  std::string bytes;
};

std::vector<Input> &inputs() {
  static std::vector<Input> all;
  return all;
}

bool load_inputs(const std::string &dir) {
  for (const char *kind : kKinds) {
    for (const char *enc : kEncodings) {
      const std::string name = std::string(kind) + "." + enc;
      std::ifstream in(dir + "/" + name, std::ios::binary);
      if (!in) return false;
      inputs().push_back(
          {name, std::string(std::istreambuf_iterator<char>(in), {})});
    }
  }
  return true;
}

const unsigned char *bytes_of(const std::string &s) {
  return reinterpret_cast<const unsigned char *>(s.data());
}

std::string kmv_answer(int32_t result) {
  char names[160];
  kmv_multi_type_names(names, sizeof names, result);
  return names;
}

void BM_kmv(benchmark::State &state, const std::string *text) {
  kmv_handle *handle = create_kmv();
  int32_t result = 0;
  for (auto _ : state) {
    result = kmv_buf(handle, bytes_of(*text), text->size(), 0, 0);
    benchmark::DoNotOptimize(result);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(text->size()));
  state.SetLabel(kmv_answer(result));
  release_kmv(handle);
}

void BM_uchardet(benchmark::State &state, const std::string *text) {
  uchardet_t detector = uchardet_new();
  std::string answer;
  for (auto _ : state) {
    uchardet_reset(detector);
    uchardet_handle_data(detector, text->data(), text->size());
    uchardet_data_end(detector);
    const char *charset = uchardet_get_charset(detector);
    benchmark::DoNotOptimize(charset);
    answer = charset;
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(text->size()));
  state.SetLabel(answer.empty() ? "(none)" : answer);
  uchardet_delete(detector);
}

void BM_icu(benchmark::State &state, const std::string *text) {
  UErrorCode status = U_ZERO_ERROR;
  UCharsetDetector *detector = ucsdet_open(&status);
  std::string answer = "(error)";
  for (auto _ : state) {
    status = U_ZERO_ERROR;
    ucsdet_setText(detector, text->data(), static_cast<int32_t>(text->size()),
                   &status);
    const UCharsetMatch *match = ucsdet_detect(detector, &status);
    benchmark::DoNotOptimize(match);
    if (U_SUCCESS(status) && match != nullptr) {
      answer = ucsdet_getName(match, &status);
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(text->size()));
  state.SetLabel(answer);
  ucsdet_close(detector);
}

// Keeps every run's time and answer for the closing table of ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  struct Seen {
    double ns = 0;
    std::string answer;
  };
  void ReportRuns(const std::vector<Run> &runs) override {
    for (const Run &run : runs) {
      if (run.run_type != Run::RT_Iteration || run.iterations == 0) continue;
      seen_[run.run_name.function_name] = {run.GetAdjustedRealTime(),
                                           run.report_label};
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void print_ratios() const {
    std::printf("\n%-6s %-14s %10s %10s %9s %9s  %s\n", "size", "input",
                "kmv us", "kmv MB/s", "x uchardet", "x ICU",
                "answers: kmv | uchardet | ICU");
    for (const char *size : {"whole", "4k"}) {
      for (const Input &in : inputs()) print_row(size, in);
    }
  }

 private:
  const Seen *find(const std::string &peer, const char *size,
                   const Input &in) const {
    auto it = seen_.find(peer + "/" + size + "/" + in.name);
    return it == seen_.end() ? nullptr : &it->second;
  }
  void print_row(const char *size, const Input &in) const {
    const Seen *k = find("kmv", size, in);
    const Seen *u = find("uchardet", size, in);
    const Seen *c = find("icu", size, in);
    if (k == nullptr || u == nullptr || c == nullptr) return;
    // Reported times are in the unit each benchmark was registered with.
    const double bytes =
        std::string(size) == "whole"
            ? static_cast<double>(in.bytes.size())
            : static_cast<double>(std::min(kPrefix, in.bytes.size()));
    const double kmv_us = k->ns / 1000.0;
    std::printf("%-6s %-14s %10.2f %10.0f %9.1f %9.1f  %s | %s | %s\n", size,
                in.name.c_str(), kmv_us, bytes / kmv_us, u->ns / k->ns,
                c->ns / k->ns, k->answer.c_str(), u->answer.c_str(),
                c->answer.c_str());
  }
  std::map<std::string, Seen> seen_;
};

std::vector<std::unique_ptr<std::string>> &prefixes() {
  static std::vector<std::unique_ptr<std::string>> all;
  return all;
}

void register_all() {
  for (const Input &in : inputs()) {
    prefixes().push_back(std::make_unique<std::string>(
        in.bytes.substr(0, std::min(kPrefix, in.bytes.size()))));
    const std::string *prefix = prefixes().back().get();
    for (auto [peer, fn] :
         {std::pair{"kmv", &BM_kmv}, std::pair{"uchardet", &BM_uchardet},
          std::pair{"icu", &BM_icu}}) {
      benchmark::RegisterBenchmark(
          (std::string(peer) + "/whole/" + in.name).c_str(), fn, &in.bytes)
          ->Unit(benchmark::kNanosecond)
          ->MinTime(0.2);
      benchmark::RegisterBenchmark(
          (std::string(peer) + "/4k/" + in.name).c_str(), fn, prefix)
          ->Unit(benchmark::kNanosecond)
          ->MinTime(0.1);
    }
  }
}

}  // namespace

int main(int argc, char **argv) {
  const char *env = std::getenv("KMV_BENCH_INPUTS");
  const std::string dir = env != nullptr ? env : "build/bench-inputs";
  if (!load_inputs(dir)) {
    std::printf(
        "bench_detect: no inputs in %s (make them with bench/make_inputs.py "
        "%s, or set KMV_BENCH_INPUTS); skipped\n",
        dir.c_str(), dir.c_str());
    return 0;
  }
  register_all();
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.print_ratios();
  benchmark::Shutdown();
  return 0;
}
