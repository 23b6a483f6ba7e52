// Cost of the best guess: kmvx_guess beside kmv_buf on 1 KB texts that the
// detector decides (the guess should add nothing) and leaves undecided
// (the guess decodes and weighs each candidate).
#include <benchmark/benchmark.h>

#include <string>

#include "kmv.h"
#include "kmv_ext.h"

namespace {

std::string from_hex(const char *hex) {
  std::string out;
  for (const char *p = hex; p[0] != 0 && p[1] != 0; p += 2) {
    out += static_cast<char>(std::stoi(std::string(p, 2), nullptr, 16));
  }
  return out;
}

// Sentences repeated to 1 KB. "今日は良い天気ですね。" in UTF-8 is decided.
// The others are left undecided, narrowed by the kana preference:
// "デバッグ情報を表示します。" in UTF-16BE without line ends, and a sentence
// of a manual page in Shift_JIS.
std::string kilobyte(const char *unit_hex) {
  const std::string unit = from_hex(unit_hex);
  std::string text;
  while (text.size() + unit.size() <= 1024) text += unit;
  return text;
}

const std::string &text_of(int which) {
  static const std::string texts[] = {
      kilobyte(
          "e4bb8ae697a5e381afe889afe38184e5a4a9e6b097e381a7e38199e381ade38082"),
      kilobyte("30c730d030c330b060c5583130928868793a3057307e30593002"),
      kilobyte(
          "95578f8082cc88ea92768f88979d838b815b838b82c582cd8379815b835796bc82e2"
          "977696f195b693e082cc92508cea8bab8a4582c982e088ea9276"),
  };
  return texts[which];
}

const char *const kNames[] = {"decided utf8", "undecided utf16be",
                              "undecided sjis"};

void BM_Detect(benchmark::State &state) {
  kmv_handle *h = create_kmv();
  const std::string &t = text_of(static_cast<int>(state.range(0)));
  const auto *b = reinterpret_cast<const unsigned char *>(t.data());
  int32_t r = 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(r = kmv_buf(h, b, t.size(), 0, 0));
  state.SetLabel(std::string(kNames[state.range(0)]) + ", kmv_buf " +
                 std::to_string(r));
  release_kmv(h);
}

void BM_Guess(benchmark::State &state) {
  kmv_handle *h = create_kmv();
  const std::string &t = text_of(static_cast<int>(state.range(0)));
  const auto *b = reinterpret_cast<const unsigned char *>(t.data());
  kmvx_guess_result g{};
  for (auto _ : state) {
    kmvx_guess(h, b, t.size(), 0, &g);
    benchmark::DoNotOptimize(g);
  }
  state.SetLabel(std::string(kNames[state.range(0)]) + ", guess " +
                 std::to_string(g.type) + " of " + std::to_string(g.detected));
  release_kmv(h);
}

BENCHMARK(BM_Detect)->DenseRange(0, 2);
BENCHMARK(BM_Guess)->DenseRange(0, 2);

}  // namespace

BENCHMARK_MAIN();
