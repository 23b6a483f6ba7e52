// Detects and converts a short Shift_JIS text with the C++ interface.
#include <cstdio>
#include <string_view>

#include <kmv.hpp>

int main() {
  using namespace std::string_view_literals;
  kmv::handle h;
  if (!h) return 1;
  const auto text = "\x93\xfa\x96\x7b\x8c\xea\x82\xcc\x95\xb6\x8e\x9a"sv;  // 日本語の文字
  auto found = h.detect(text, kmv::encoding::sjis);
  auto utf8 = h.convert(text, kmv::encoding::sjis, kmv::encoding::utf8);
  if (!found || !utf8) return 1;
  const bool ok = found->candidates().contains(kmv::encoding::sjis) &&
                  utf8->bytes.view() ==
                      "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e\xe3\x81\xae"
                      "\xe6\x96\x87\xe5\xad\x97"sv;
  std::printf("%s (%s, kmv %.2f)\n", utf8->bytes.str().c_str(),
              found->candidates().names().c_str(),
              static_cast<double>(kmv_get_version()));
  return ok ? 0 : 1;
}
