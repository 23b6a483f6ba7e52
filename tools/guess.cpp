// The best guess at a text's encoding, in words for the tool.
#include "guess.h"

#include <cstdio>

namespace kmvtool {
namespace {

std::string name_or(const std::optional<kmv::encoding> &e, const char *none) {
  return e ? std::string(kmv::name(*e)) : none;
}

std::string quoted_or_null(const std::optional<kmv::encoding> &e) {
  if (!e) return "null";
  std::string out(1, '"');
  out += kmv::name(*e);
  out += '"';
  return out;
}

}  // namespace

std::variant<std::string, kmv::error> guess_words(
    kmv::handle &h, std::span<const std::byte> text, kmv::encoding expected,
    bool json) {
  const auto g = h.guess(text, expected);
  if (!g) return g.error();
  const bool empty = text.empty();
  if (!json) return empty ? std::string("empty") : name_or(g->type, "none");
  char confidence[16];
  std::snprintf(confidence, sizeof confidence, "%.3f", double(g->confidence));
  std::string out = "\"encoding\":";
  out += empty ? "\"empty\"" : quoted_or_null(g->type);
  out += ",\"confidence\":";
  out += confidence;
  out += ",\"runner_up\":";
  out += quoted_or_null(g->runner_up);
  out += ",\"detected\":";
  out += std::to_string(g->detected.raw);
  return out;
}

std::variant<GuessedSource, std::string> guess_source(
    kmv::handle &h, std::span<const std::byte> text, kmv::encoding expected) {
  const auto g = h.guess(text, expected);
  if (!g) return std::string(g.error().what());
  if (!g->type) {
    return std::string(
        "no supported encoding fits the text (name it with --from)");
  }
  const auto among = h.detect(text, expected, true);
  std::string note = "guessed " + std::string(kmv::name(*g->type));
  if (among && among->candidates().list().size() > 1) {
    note += " among " + among->candidates().names();
  }
  if (g->runner_up) note += "; next " + std::string(kmv::name(*g->runner_up));
  return GuessedSource{*g->type,
                       note + " (name it with --from, or --no-guess)"};
}

}  // namespace kmvtool
