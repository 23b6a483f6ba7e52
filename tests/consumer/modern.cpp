// Uses the C++ interface as a C++20 program would: lines as a range,
// chained results, std::error_code, every kind of byte input, a file by
// std::filesystem::path. The static_asserts prove that a reader over a
// temporary (which would dangle) does not compile.
#include <concepts>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <kmv.hpp>
#include <ranges>
#include <sstream>
#include <string>
#include <vector>

using kmv::encoding;
using reader = kmv::line_reader;

static_assert(std::ranges::input_range<reader>);
static_assert(!std::constructible_from<reader, const kmv::handle &, std::string,
                                       encoding>);
static_assert(!std::constructible_from<reader, const kmv::handle &,
                                       std::vector<std::byte>, encoding>);
static_assert(
    !std::constructible_from<reader, kmv::handle, std::string_view, encoding>);
static_assert(std::constructible_from<reader, const kmv::handle &,
                                      const std::string &, encoding>);
static_assert(std::constructible_from<
              reader, kmv::handle &, std::span<const unsigned char>, encoding>);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
static_assert(encoding::euc1 == encoding::euc_cp20932 &&
              encoding::euc2 == encoding::euc_cp51932 &&
              encoding::euc3 == encoding::euc_jp_ms);
#pragma GCC diagnostic pop

namespace {

int failures = 0;

void check(bool ok, const char *what) {
  if (ok) return;
  std::fprintf(stderr, "FAIL: %s\n", what);
  ++failures;
}

}  // namespace

int main() {
  kmv::handle h;
  const std::string sjis = "\x93\xfa\x96\x7b\r\n\x8c\xea\n";  // 日本, 語

  std::vector<std::string> lines;
  for (const auto &line : reader(h, sjis, encoding::sjis)) {
    lines.emplace_back(line ? line->view() : "(error)");
  }
  check(lines == std::vector<std::string>{"\x93\xfa\x96\x7b", "\x8c\xea"},
        "lines by range-for");

  const std::vector<unsigned char> bytes(sjis.begin(), sjis.end());
  const auto found = h.detect(sjis);
  check(found && found->best() == encoding::sjis, "best() of a Shift_JIS text");
  check(h.detect(std::span(bytes)).value_or({}) == *found &&
            h.detect(std::as_bytes(std::span(sjis))).value_or({}) == *found &&
            h.detect(std::span<const char>(sjis)).value_or({}) == *found,
        "every kind of byte input detects alike");
  check(h.detect("")->empty() && !h.detect("")->no_fit() &&
            h.detect("\xff\xff\xff")->no_fit(),
        "empty told apart from no fit");

  const auto size = [](const kmv::conversion &c) { return c.bytes.size(); };
  check(h.convert(sjis, encoding::sjis, encoding::utf8)
                .transform(size)
                .value_or(0) == 12,
        "transform and value_or");
  std::error_code code;
  const auto recovered =
      h.convert(std::string_view("\x93"), encoding::sjis, encoding::utf8)
          .and_then([&](kmv::conversion &&c) {
            return kmv::result<std::size_t>(c.bytes.size());
          })
          .or_else([&](const kmv::error &e) {
            code = e.code();
            return kmv::result<std::size_t>(99);
          });
  check(recovered.value_or(0) == 99, "or_else recovers a failure");
  check(code == kmv::error{KMV_EUEXPEOD, {}}.code() &&
            std::string(code.category().name()) == "kmv" &&
            code.message() == "the text ends inside a character",
        "std::error_code of a failure");

  const auto path = std::filesystem::temp_directory_path() / "kmv-modern.txt";
  std::ofstream(path, std::ios::binary) << sjis;
  check(kmv::read_file(path)
                .transform([](const kmv::buffer &b) { return b.str(); })
                .value_or("") == sjis,
        "read_file by path");
  std::filesystem::remove(path);

  std::ostringstream shown;
  shown << encoding::euc_jp_ms << ' ' << encoding::sjis;
  check(shown.str() == "EUC3(EUC-MS) SJIS", "operator<<");

  std::printf("modern consumer: %d failed\n", failures);
  return failures == 0 ? 0 : 1;
}
