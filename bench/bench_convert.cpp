// Throughput of the converters, in MB/s of input, against glibc iconv, ICU
// and (when built with it) encoding_rs converting the same text in the same
// run. Every call converts the
// whole buffer and allocates its output, as a user's call does.
//
// Inputs: the files of bench/make_inputs.py in $KMV_BENCH_INPUTS (default
// build/bench-inputs). After the runs a table of ratios is printed: kmv
// against the fastest peer, per direction and kind of text, from
// the medians of the repetitions. On a busy machine run it with
//   --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true
#include <benchmark/benchmark.h>
#include <iconv.h>
#include <unicode/ucnv.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "kmv.h"

namespace {

using Plain = kmv_converter_fn;
using WithBom = kmv_converter_bom_fn;

struct KmvFn {
  KmvFn(Plain f) : plain(f) {}
  KmvFn(WithBom f) : bom(f) {}
  int32_t operator()(kmv_handle *h, unsigned char **dst, uint64_t *len,
                     const unsigned char *src, uint64_t n) const {
    const unsigned char *err = nullptr;
    return plain != nullptr ? plain(h, dst, len, &err, src, n)
                            : bom(h, dst, len, &err, src, n, 0);
  }
  Plain plain = nullptr;
  WithBom bom = nullptr;
};

// One direction. `input` is the suffix of the input file (the source
// encoding as make_inputs.py names it).
struct Direction {
  const char *name;
  KmvFn kmv;
  const char *input;
  const char *iconv_from, *iconv_to;
  const char *icu_from, *icu_to;
};

// clang-format off
const Direction kDirections[] = {
  {"utf16be>euc",   kmv_unibeto_euc,   "utf16be", "UTF-16BE", "EUC-JP",      "UTF-16BE", "EUC-JP"},
  {"utf16be>sjis",  kmv_unibeto_sjis,  "utf16be", "UTF-16BE", "CP932",       "UTF-16BE", "windows-31j"},
  {"utf16be>jis",   kmv_unibeto_jis,   "utf16be", "UTF-16BE", "ISO-2022-JP", "UTF-16BE", "ISO-2022-JP"},
  {"utf16be>utf16le", kmv_unibeto_unile, "utf16be", "UTF-16BE", "UTF-16LE",  "UTF-16BE", "UTF-16LE"},
  {"utf16be>utf8",  kmv_unibeto_utf8,  "utf16be", "UTF-16BE", "UTF-8",       "UTF-16BE", "UTF-8"},
  {"utf16le>euc",   kmv_unileto_euc,   "utf16le", "UTF-16LE", "EUC-JP",      "UTF-16LE", "EUC-JP"},
  {"utf16le>sjis",  kmv_unileto_sjis,  "utf16le", "UTF-16LE", "CP932",       "UTF-16LE", "windows-31j"},
  {"utf16le>jis",   kmv_unileto_jis,   "utf16le", "UTF-16LE", "ISO-2022-JP", "UTF-16LE", "ISO-2022-JP"},
  {"utf16le>utf16be", kmv_unileto_unibe, "utf16le", "UTF-16LE", "UTF-16BE",  "UTF-16LE", "UTF-16BE"},
  {"utf16le>utf8",  kmv_unileto_utf8,  "utf16le", "UTF-16LE", "UTF-8",       "UTF-16LE", "UTF-8"},
  {"utf8>euc",      kmv_utf8to_euc,    "utf8",    "UTF-8",    "EUC-JP",      "UTF-8",    "EUC-JP"},
  {"utf8>sjis",     kmv_utf8to_sjis,   "utf8",    "UTF-8",    "CP932",       "UTF-8",    "windows-31j"},
  {"utf8>jis",      kmv_utf8to_jis,    "utf8",    "UTF-8",    "ISO-2022-JP", "UTF-8",    "ISO-2022-JP"},
  {"utf8>utf16be",  kmv_utf8to_unibe,  "utf8",    "UTF-8",    "UTF-16BE",    "UTF-8",    "UTF-16BE"},
  {"utf8>utf16le",  kmv_utf8to_unile,  "utf8",    "UTF-8",    "UTF-16LE",    "UTF-8",    "UTF-16LE"},
  {"sjis>euc",      kmv_sjisto_euc,    "sjis",    "CP932",    "EUC-JP",      "windows-31j", "EUC-JP"},
  {"sjis>jis",      kmv_sjisto_jis,    "sjis",    "CP932",    "ISO-2022-JP", "windows-31j", "ISO-2022-JP"},
  {"sjis>utf16be",  kmv_sjisto_unibe,  "sjis",    "CP932",    "UTF-16BE",    "windows-31j", "UTF-16BE"},
  {"sjis>utf16le",  kmv_sjisto_unile,  "sjis",    "CP932",    "UTF-16LE",    "windows-31j", "UTF-16LE"},
  {"sjis>utf8",     kmv_sjisto_utf8,   "sjis",    "CP932",    "UTF-8",       "windows-31j", "UTF-8"},
  {"euc>euc",       kmv_eucto_euc,     "eucjp",   "EUC-JP",   "EUC-JP",      "EUC-JP",   "EUC-JP"},
  {"euc>jis",       kmv_eucto_jis,     "eucjp",   "EUC-JP",   "ISO-2022-JP", "EUC-JP",   "ISO-2022-JP"},
  {"euc>sjis",      kmv_eucto_sjis,    "eucjp",   "EUC-JP",   "CP932",       "EUC-JP",   "windows-31j"},
  {"euc>utf16be",   kmv_eucto_unibe,   "eucjp",   "EUC-JP",   "UTF-16BE",    "EUC-JP",   "UTF-16BE"},
  {"euc>utf16le",   kmv_eucto_unile,   "eucjp",   "EUC-JP",   "UTF-16LE",    "EUC-JP",   "UTF-16LE"},
  {"euc>utf8",      kmv_eucto_utf8,    "eucjp",   "EUC-JP",   "UTF-8",       "EUC-JP",   "UTF-8"},
  {"jis>euc",       kmv_jisto_euc,     "jis",     "ISO-2022-JP", "EUC-JP",   "ISO-2022-JP", "EUC-JP"},
  {"jis>sjis",      kmv_jisto_sjis,    "jis",     "ISO-2022-JP", "CP932",    "ISO-2022-JP", "windows-31j"},
  {"jis>utf16be",   kmv_jisto_unibe,   "jis",     "ISO-2022-JP", "UTF-16BE", "ISO-2022-JP", "UTF-16BE"},
  {"jis>utf16le",   kmv_jisto_unile,   "jis",     "ISO-2022-JP", "UTF-16LE", "ISO-2022-JP", "UTF-16LE"},
  {"jis>utf8",      kmv_jisto_utf8,    "jis",     "ISO-2022-JP", "UTF-8",    "ISO-2022-JP", "UTF-8"},
};
// clang-format on

const char *const kKinds[] = {"doc", "prose", "tech"};

std::string input_dir() {
  const char *dir = std::getenv("KMV_BENCH_INPUTS");
  return dir != nullptr && *dir != '\0' ? dir : "build/bench-inputs";
}

const std::string &input(const std::string &kind, const std::string &suffix) {
  static std::map<std::string, std::string> cache;
  const std::string path = input_dir() + "/" + kind + "." + suffix;
  auto it = cache.find(path);
  if (it == cache.end()) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    it = cache.emplace(path, s.str()).first;
  }
  return it->second;
}

// Room a peer gets for its output: enough for any of these directions.
size_t peer_capacity(size_t n) {
  return 4 * n + 64;
}

void run_kmv(benchmark::State &state, const Direction &d,
             const std::string &text) {
  kmv_handle *h = create_kmv();
  const auto *src = reinterpret_cast<const unsigned char *>(text.data());
  for (auto _ : state) {
    unsigned char *out = nullptr;
    uint64_t len = 0;
    if (d.kmv(h, &out, &len, src, text.size()) != 0) {
      state.SkipWithError("conversion failed");
    }
    benchmark::DoNotOptimize(out);
    std::free(out);
  }
  release_kmv(h);
}

void run_iconv(benchmark::State &state, const Direction &d,
               const std::string &text) {
  iconv_t cd = iconv_open(d.iconv_to, d.iconv_from);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    state.SkipWithError("iconv_open failed");
    return;
  }
  for (auto _ : state) {
    const size_t cap = peer_capacity(text.size());
    char *out = static_cast<char *>(std::malloc(cap));
    char *in = const_cast<char *>(text.data());
    size_t in_left = text.size(), out_left = cap;
    char *o = out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &in, &in_left, &o, &out_left) == static_cast<size_t>(-1) ||
        iconv(cd, nullptr, nullptr, &o, &out_left) == static_cast<size_t>(-1)) {
      state.SkipWithError("iconv failed");
    }
    benchmark::DoNotOptimize(out);
    std::free(out);
  }
  iconv_close(cd);
}

// ICU works in UTF-16 (little-endian here): a UTF-16LE side is handed over
// as UChars, the rest goes through ucnv_convertEx.
void run_icu(benchmark::State &state, const Direction &d,
             const std::string &text) {
  UErrorCode err = U_ZERO_ERROR;
  UConverter *from = ucnv_open(d.icu_from, &err);
  UConverter *to = ucnv_open(d.icu_to, &err);
  if (U_FAILURE(err)) {
    state.SkipWithError("ucnv_open failed");
    ucnv_close(from);
    ucnv_close(to);
    return;
  }
  const bool from_uchars = std::strcmp(d.icu_from, "UTF-16LE") == 0;
  const bool to_uchars = std::strcmp(d.icu_to, "UTF-16LE") == 0;
  std::vector<UChar> pivot(1024);
  for (auto _ : state) {
    const size_t cap = peer_capacity(text.size());
    char *out = static_cast<char *>(std::malloc(cap));
    err = U_ZERO_ERROR;
    if (from_uchars) {
      ucnv_fromUChars(to, out, static_cast<int32_t>(cap),
                      reinterpret_cast<const UChar *>(text.data()),
                      static_cast<int32_t>(text.size() / 2), &err);
    } else if (to_uchars) {
      ucnv_toUChars(from, reinterpret_cast<UChar *>(out),
                    static_cast<int32_t>(cap / 2), text.data(),
                    static_cast<int32_t>(text.size()), &err);
    } else {
      char *o = out;
      const char *in = text.data();
      UChar *ps = pivot.data(), *pt = pivot.data();
      ucnv_convertEx(to, from, &o, out + cap, &in, in + text.size(),
                     pivot.data(), &ps, &pt, pivot.data() + pivot.size(), true,
                     true, &err);
    }
    if (U_FAILURE(err)) state.SkipWithError("ICU conversion failed");
    benchmark::DoNotOptimize(out);
    std::free(out);
  }
  ucnv_close(from);
  ucnv_close(to);
}

#if KMV_BENCH_ENCODING_RS
extern "C" ptrdiff_t kmv_bench_ers_convert(const char *from, const char *to,
                                           const unsigned char *src, size_t n,
                                           unsigned char *dst, size_t cap);

// encoding_rs knows Windows-31J as Shift_JIS; the other names are iconv's.
const char *ers_label(const char *iconv_name) {
  return std::strcmp(iconv_name, "CP932") == 0 ? "Shift_JIS" : iconv_name;
}

void run_encoding_rs(benchmark::State &state, const Direction &d,
                     const std::string &text) {
  const auto *src = reinterpret_cast<const unsigned char *>(text.data());
  for (auto _ : state) {
    const size_t cap = peer_capacity(text.size());
    auto *out = static_cast<unsigned char *>(std::malloc(cap));
    if (kmv_bench_ers_convert(ers_label(d.iconv_from), ers_label(d.iconv_to),
                              src, text.size(), out, cap) < 0) {
      state.SkipWithError("encoding_rs failed");
    }
    benchmark::DoNotOptimize(out);
    std::free(out);
  }
}
#endif

// Collects bytes per second per benchmark for the ratio table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run> &runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run &r : runs) {
      if (r.error_occurred || r.run_type != Run::RT_Iteration) continue;
      auto it = r.counters.find("bytes_per_second");
      if (it != r.counters.end()) {
        rates_[r.run_name.function_name].push_back(it->second);
      }
    }
  }

  void PrintRatios() const {
    std::printf(
        "\nkmv / fastest peer (MB/s of input: kmv, iconv, ICU, encoding_rs)\n");
    std::printf("%-18s", "direction");
    for (const char *kind : kKinds) std::printf(" %36s", kind);
    std::printf("\n");
    for (const Direction &d : kDirections) {
      std::printf("%-18s", d.name);
      for (const char *kind : kKinds) {
        const std::string base = std::string(d.name) + "/" + kind + "/";
        const double k = get(base + "kmv"), i = get(base + "iconv"),
                     u = get(base + "icu"), e = get(base + "encoding_rs");
        const double peer = std::max({i, u, e});
        char cell[64];
        if (k <= 0 || peer <= 0) {
          std::snprintf(cell, sizeof cell, "-");
        } else {
          std::snprintf(cell, sizeof cell, "%5.2fx (%5.0f,%5.0f,%5.0f,%5.0f)",
                        k / peer, k / 1e6, i / 1e6, u / 1e6, e / 1e6);
        }
        std::printf(" %36s", cell);
      }
      std::printf("\n");
    }
  }

 private:
  // The median over repetitions (--benchmark_repetitions), so that a
  // moment of load on the machine does not decide a ratio.
  double get(const std::string &name) const {
    auto it = rates_.find(name);
    if (it == rates_.end() || it->second.empty()) return 0;
    std::vector<double> v = it->second;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  }
  std::map<std::string, std::vector<double>> rates_;
};

template <void (*Run)(benchmark::State &, const Direction &,
                      const std::string &)>
void add(const Direction &d, const char *kind, const char *who) {
  const std::string &text = input(kind, d.input);
  const std::string name = std::string(d.name) + "/" + kind + "/" + who;
  benchmark::RegisterBenchmark(name.c_str(), [&d,
                                              &text](benchmark::State &state) {
    Run(state, d, text);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(text.size()));
  })->Unit(benchmark::kMillisecond);
}

}  // namespace

int main(int argc, char **argv) {
  if (input(kKinds[0], "utf8").empty()) {
    std::printf(
        "bench_convert: no inputs in %s (run bench/make_inputs.py %s)\n",
        input_dir().c_str(), input_dir().c_str());
    return 0;
  }
  for (const Direction &d : kDirections) {
    for (const char *kind : kKinds) {
      add<run_kmv>(d, kind, "kmv");
      add<run_iconv>(d, kind, "iconv");
      add<run_icu>(d, kind, "icu");
#if KMV_BENCH_ENCODING_RS
      add<run_encoding_rs>(d, kind, "encoding_rs");
#endif
    }
  }
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
