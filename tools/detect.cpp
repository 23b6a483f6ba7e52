// kmv detect: the encoding of each file.
#include <cstdio>
#include <string>
#include <variant>

#include "commands.h"
#include "guess.h"
#include "inputs.h"
#include "runner.h"

namespace kmvtool {
namespace {

std::string json_string(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

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

std::string json_line(const Input &in, const kmv::detection &d) {
  const std::string encoding =
      d.decided() ? json_string(kmv::name(d.type())) : "null";
  return "{\"path\":" + json_string(in.path) +
         ",\"result\":" + std::to_string(d.raw) +
         ",\"decided\":" + (d.decided() ? "true" : "false") +
         ",\"encoding\":" + encoding +
         ",\"names\":" + json_names(d.candidates()) + "}\n";
}

std::string json_failure(const Input &in, const std::string &why) {
  return "{\"path\":" + json_string(in.path) +
         ",\"result\":null,\"decided\":false,\"encoding\":null,\"names\":[]"
         ",\"error\":" +
         json_string(why) + "}\n";
}

Outcome guess_one(const Input &in, const kmv::buffer &text, kmv::handle &h,
                  const Options &o, kmv::encoding expected) {
  Outcome r;
  const std::string shown = shown_path(in.path, in.is_stdin);
  auto words = guess_words(h, text, expected, o.json);
  if (auto *e = std::get_if<kmv::error>(&words)) {
    r.failed = true;
    r.messages.push_back("kmv: " + shown + ": " + std::string(e->what()));
    return r;
  }
  const auto &said = std::get<std::string>(words);
  r.text = o.json ? "{\"path\":" + json_string(in.path) + "," + said + "}\n"
                  : shown + ": " + said + "\n";
  return r;
}

Outcome detect_one(const Input &in, kmv::handle &h, const Options &o) {
  Outcome r;
  auto content = read_input(in);
  if (auto *why = std::get_if<std::string>(&content)) {
    r.failed = true;
    r.messages.push_back("kmv: " + shown_path(in.path, in.is_stdin) + ": " +
                         *why);
    if (o.json) r.text = json_failure(in, *why);
    return r;
  }
  const auto &text = std::get<kmv::buffer>(content);
  const auto expected = o.expect ? o.expect->type : kmv::encoding::unknown;
  if (o.guess) return guess_one(in, text, h, o, expected);
  const auto found = h.detect(text.bytes(), expected, o.ignore_hints);
  if (!found) {
    r.failed = true;
    r.messages.push_back("kmv: " + shown_path(in.path, in.is_stdin) + ": " +
                         std::string(found.error().what()));
    return r;
  }
  r.text = o.json ? json_line(in, *found)
                  : shown_path(in.path, in.is_stdin) + ": " +
                        verdict(*found, text.empty()) + "\n";
  return r;
}

}  // namespace

int run_detect(const Options &o) {
  return run_over_inputs(o, [&o](const Input &in, kmv::handle &h) {
    return detect_one(in, h, o);
  });
}

}  // namespace kmvtool
