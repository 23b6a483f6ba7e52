// kmv detect: the encoding of each file.
#include <cstdint>
#include <cstdio>
#include <string>
#include <variant>

#include "atomic_output.h"
#include "commands.h"
#include "guess.h"
#include "input_text.h"
#include "inputs.h"
#include "kmv_ext.h"
#include "runner.h"
#include "shown_name.h"
#include "text.h"

namespace kmvtool {
namespace {

std::string json_names(const kmv::candidate_set &set) {
  std::string out = "[";
  for (const kmv::encoding e : set.list()) {
    if (out.size() > 1) out += ',';
    out += json_string(kmv::name(e));
  }
  return out + "]";
}

// The answer in words: a name, candidates joined by ";", "empty" or "none".
std::string verdict(const kmv::detection &d, bool empty_text) {
  if (d.decided()) return std::string(kmv::name(d.type()));
  if (!d.candidates().empty()) return d.candidates().names();
  return empty_text ? "empty" : "none";
}

// Standard input has the name it has in text output.
std::string json_name(const Input &in) {
  return in.is_stdin ? "(standard input)" : in.path;
}

std::string json_line(const Input &in, const kmv::detection &d) {
  const std::string encoding =
      d.decided() ? json_string(kmv::name(d.type())) : "null";
  return join("{", json_path_members(json_name(in)),
              ",\"result\":", std::to_string(d.raw),
              ",\"decided\":", d.decided() ? "true" : "false",
              ",\"encoding\":", encoding,
              ",\"names\":", json_names(d.candidates()), "}\n");
}

std::string json_failure(const Input &in, const std::string &why) {
  return join("{", json_path_members(json_name(in)),
              ",\"result\":null,\"decided\":false,\"encoding\":null,"
              "\"names\":[],\"error\":",
              json_string(why), "}\n");
}

Outcome guess_one(const Input &in, std::span<const std::byte> text,
                  kmv::handle &h, const Options &o, kmv::encoding expected) {
  Outcome r;
  const std::string shown = shown_path(in.path, in.is_stdin);
  auto words = guess_words(h, text, expected, o.json);
  if (auto *e = std::get_if<kmv::error>(&words)) {
    r.failed = true;
    r.messages.push_back("kmv: " + shown + ": " + std::string(e->what()));
    return r;
  }
  const auto &said = std::get<std::string>(words);
  r.text = o.json
               ? join("{", json_path_members(json_name(in)), ",", said, "}\n")
               : shown + ": " + said + "\n";
  return r;
}

// The detector's answer for the input: a regular file is read whole, in
// pieces, by the detector itself; a stream is looked at up to the limit and
// then read to its end. `empty` tells whether there was no text at all.
kmv::result<kmv::detection> detect_input(InputText &src, kmv::handle &h,
                                         const Options &o, bool &empty,
                                         std::string &why) {
  const auto expected = o.expect ? o.expect->type : kmv::encoding::unknown;
  if (src.mapped()) {
    empty = src.whole().empty();
    const std::int32_t raw =
        kmvx_detect_read(h.get(), InputText::read_for_detector, &src,
                         kmv::code(expected), o.ignore_hints ? 1 : 0);
    if (raw == KMV_EREAD) why = src.read_failure();
    if (raw == KMV_EREAD || raw == KMV_EALLOC) return kmv::error{raw, {}};
    return kmv::detection{raw};
  }
  std::span<const std::byte> seen;
  if (auto failure = src.look_ahead(o.detect_bytes, seen)) {
    why = *failure;
    return kmv::error{KMV_EREAD, {}};
  }
  empty = seen.empty();
  auto found = h.detect(seen, expected, o.ignore_hints);
  if (!found) return found;
  if (auto failure = src.drain()) {
    why = *failure;
    return kmv::error{KMV_EREAD, {}};
  }
  return found;
}

Outcome detect_one(const Input &in, kmv::handle &h, const Options &o) {
  Outcome r;
  auto failed = [&](const std::string &why) {
    r.failed = true;
    r.messages.push_back("kmv: " + shown_path(in.path, in.is_stdin) + ": " +
                         why);
    if (o.json) r.text = json_failure(in, why);
    return std::move(r);
  };
  InputText src;
  if (auto why = src.open(in)) return failed(*why);
  if (o.guess) {
    // The guess weighs the text's start; its detection sees all of it.
    std::span<const std::byte> seen;
    if (auto why = src.look_ahead(o.detect_bytes, seen)) return failed(*why);
    src.prefault();
    const auto expected = o.expect ? o.expect->type : kmv::encoding::unknown;
    Outcome g = guess_one(in, seen, h, o, expected);
    if (!src.mapped()) {
      if (auto why = src.drain()) return failed(*why);
    }
    return g;
  }
  bool empty = false;
  std::string why;
  const auto found = detect_input(src, h, o, empty, why);
  if (!found) {
    return failed(why.empty() ? std::string(found.error().what()) : why);
  }
  r.text = o.json ? json_line(in, *found)
                  : shown_path(in.path, in.is_stdin) + ": " +
                        verdict(*found, empty) + "\n";
  return r;
}

}  // namespace

int run_detect(const Options &o) {
  install_signal_cleanup();
  return run_over_inputs(o, [&o](const Input &in, kmv::handle &h) {
    return detect_one(in, h, o);
  });
}

}  // namespace kmvtool
