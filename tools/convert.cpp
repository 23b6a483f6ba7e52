// kmv convert: a text in another encoding.
#include <cstdio>
#include <cstring>
#include <string>
#include <variant>

#include "commands.h"
#include "inputs.h"
#include "atomic_output.h"
#include "position.h"
#include "runner.h"

namespace kmvtool {
namespace {

bool is_unicode(kmv::encoding e) {
  return e >= kmv::encoding::utf16be && e <= kmv::encoding::utf8_bom;
}

std::string code_text(std::int32_t code, kmv::encoding source) {
  char text[16];
  std::snprintf(text, sizeof text, is_unicode(source) ? "U+%04X" : "0x%X",
                static_cast<unsigned>(code));
  return text;
}

std::string where(const kmv::buffer &text, std::size_t offset,
                  kmv::encoding source) {
  const TextPosition p = locate(text.bytes(), offset, source);
  return "line " + std::to_string(p.line) + ", column " +
         std::to_string(p.column);
}

// The encoding of the source text: named with --from, or detected.
std::variant<kmv::encoding, std::string> source_encoding(
    const kmv::buffer &text, kmv::handle &h, const Options &o) {
  if (o.from) {
    if (o.from->any_utf16_order && text.view().starts_with("\xFE\xFF")) {
      return kmv::encoding::utf16be_bom;
    }
    return o.from->type;
  }
  if (text.empty()) return kmv::encoding::unknown;  // converts to nothing
  const auto expected = o.expect ? o.expect->type : kmv::encoding::unknown;
  const auto found = h.detect(text.bytes(), expected, o.ignore_hints);
  if (!found) return std::string(found.error().what());
  if (found->decided()) return found->type();
  // One candidate left is the answer, as kmv detect prints it.
  const auto candidates = found->candidates().list();
  if (candidates.size() == 1) return candidates.front();
  if (!candidates.empty()) {
    return "cannot tell the encoding: it may be " +
           found->candidates().names() +
           " (name it with --from, or prefer one with --expect)";
  }
  return std::string(
      "no supported encoding fits the text (name it with --from)");
}

std::string conversion_failure(const kmv::error &e, const kmv::buffer &text,
                               kmv::encoding from, kmv::encoding to) {
  if (e.status == KMV_ECTYPE) {
    return "cannot convert " + std::string(kmv::name(from)) + " to " +
           std::string(kmv::name(to));
  }
  std::string why(e.what());
  if (e.offset)
    why += " (" + std::string(kmv::name(from)) + ", " +
           where(text, *e.offset, from) + ")";
  return why + "; nothing written";
}

std::string unconvertible_report(const kmv::conversion &c,
                                 const kmv::buffer &text, kmv::encoding from,
                                 kmv::encoding to, bool strict) {
  std::string report = std::to_string(c.unconvertible) +
                       (c.unconvertible == 1 ? " character" : " characters") +
                       " cannot be written in " + std::string(kmv::name(to));
  if (c.first) {
    report += "; the first at " + where(text, c.first->offset, from) + " (" +
              code_text(c.first->code, from) + ")";
  }
  return report + (strict ? "; nothing written" : "; replaced");
}

// Puts the converted text where it belongs; the reason when that fails.
std::optional<std::string> deliver(const Input &in, const kmv::buffer &original,
                                   kmv::buffer converted, const Options &o,
                                   Outcome &r) {
  if (o.in_place) {
    if (converted.view() == original.view()) return std::nullopt;
    return replace_file(in.path, converted.bytes());
  }
  if (o.output && *o.output != "-") {
    if (auto why = write_whole_file(*o.output, converted.bytes())) {
      return *o.output + ": " + *why;
    }
    return std::nullopt;
  }
  r.bytes = std::move(converted);
  return std::nullopt;
}

Outcome convert_one(const Input &in, kmv::handle &h, const Options &o) {
  Outcome r;
  const std::string shown = shown_path(in.path, in.is_stdin);
  auto fail = [&](const std::string &why) {
    r.failed = true;
    r.messages.push_back("kmv: " + shown + ": " + why);
    return std::move(r);
  };
  auto content = read_input(in);
  if (auto *why = std::get_if<std::string>(&content)) return fail(*why);
  const auto &text = std::get<kmv::buffer>(content);
  const auto source = source_encoding(text, h, o);
  if (auto *why = std::get_if<std::string>(&source)) return fail(*why);
  const kmv::encoding from = std::get<kmv::encoding>(source);
  const kmv::encoding to = o.to->type;
  auto converted = h.convert(text.bytes(), from, to);
  if (!converted)
    return fail(conversion_failure(converted.error(), text, from, to));
  if (converted->unconvertible > 0) {
    const std::string report =
        unconvertible_report(*converted, text, from, to, o.strict);
    if (o.strict) return fail(report);
    r.messages.push_back("kmv: " + shown + ": " + report);
  }
  if (auto why = deliver(in, text, std::move(converted->bytes), o, r)) {
    return fail(*why);
  }
  return r;
}

}  // namespace

int run_convert(const Options &o) {
  return run_over_inputs(o, [&o](const Input &in, kmv::handle &h) {
    return convert_one(in, h, o);
  });
}

std::string shown_path(const std::string &path, bool is_stdin) {
  return is_stdin ? "(standard input)" : path;
}

}  // namespace kmvtool
