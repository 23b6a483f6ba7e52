// kmv convert: a text in another encoding, converted piece by piece.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <variant>

#include "atomic_output.h"
#include "byte_progress.h"
#include "commands.h"
#include "guess.h"
#include "input_text.h"
#include "inputs.h"
#include "line_ends.h"
#include "position.h"
#include "runner.h"
#include "shown_name.h"
#include "substitutes.h"
#include "unreadable.h"
#include "utf16_order.h"

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

// A place in the source: line and column when the whole text is at hand,
// else its byte offset.
std::string where(const InputText &src, std::uint64_t offset,
                  kmv::encoding source) {
  if (!src.mapped()) return "byte " + std::to_string(offset);
  const TextPosition p =
      locate(src.whole(), static_cast<std::size_t>(offset), source);
  return "line " + std::to_string(p.line) + ", column " +
         std::to_string(p.column);
}

// The encoding of the source text: named with --from, or detected from
// `seen` (the whole file, or the first part of a stream).
std::variant<kmv::encoding, std::string> source_encoding(
    std::span<const std::byte> seen, kmv::handle &h, const Options &o,
    std::vector<std::string> &notes) {
  if (o.from) {
    if (o.from->any_utf16_order) return utf16_source(seen, h);
    return o.from->type;
  }
  if (seen.empty()) return kmv::encoding::unknown;  // converts to nothing
  const auto expected = o.expect ? o.expect->type : kmv::encoding::unknown;
  const auto found = h.detect(seen, expected, o.ignore_hints);
  if (!found) return std::string(found.error().what());
  if (const auto best = found->best()) return *best;
  if (!o.no_guess) {
    auto guessed = guess_source(h, seen, expected);
    if (auto *why = std::get_if<std::string>(&guessed)) return *why;
    notes.push_back(std::get<GuessedSource>(guessed).note);
    return std::get<GuessedSource>(guessed).type;
  }
  if (!found->candidates().empty()) {
    return "cannot tell the encoding: it may be " +
           found->candidates().names() +
           " (name it with --from, or prefer one with --expect)";
  }
  return std::string(
      "no supported encoding fits the text (name it with --from)");
}

// Where the converted text goes: a file (through a temporary file beside
// it), standard output as it comes, or memory until the file is done (for
// --strict, and for files converted on other threads).
class Destination {
 public:
  Destination(const Options &o, const Input &in, bool direct_stdout)
      : o_(o), in_(in), direct_(direct_stdout && !o.strict) {}

  std::optional<std::string> open() {
    if (o_.in_place) return file_.open_replacing(in_.path, o_.kept);
    if (to_file()) {
      if (auto why = file_.open_output(*o_.output)) {
        return escaped_name(*o_.output) + ": " + *why;
      }
    }
    if (direct_) std::fflush(stdout);
    return std::nullopt;
  }

  std::optional<std::string> write(std::span<const std::byte> bytes,
                                   const InputText &src) {
    if (o_.in_place) note_sameness(bytes, src);
    written_ += bytes.size();
    if (o_.in_place || to_file()) {
      auto why = file_.write(bytes);
      if (why && to_file()) return escaped_name(*o_.output) + ": " + *why;
      return why;
    }
    if (direct_) {
      if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    } else {
      held_.append(reinterpret_cast<const char *>(bytes.data()), bytes.size());
    }
    return std::nullopt;
  }

  // The text is complete: it takes the file's place, or goes out.
  std::optional<std::string> commit(const InputText &src, Outcome &r) {
    if (o_.in_place && same_ && written_ == src.whole().size()) {
      file_.abandon();  // nothing changes: the file stays untouched
      return std::nullopt;
    }
    if (o_.in_place || to_file()) {
      auto why = file_.commit();
      if (why && to_file()) return escaped_name(*o_.output) + ": " + *why;
      return why;
    }
    r.text = std::move(held_);
    return std::nullopt;
  }

  // Whether part of the text already went out to standard output.
  bool streamed_some() const {
    return direct_ && !o_.in_place && !to_file() && written_ > 0;
  }

 private:
  bool to_file() const { return o_.output && *o_.output != "-"; }

  void note_sameness(std::span<const std::byte> bytes, const InputText &src) {
    if (bytes.empty()) return;
    const auto original = src.whole();
    same_ = same_ && written_ + bytes.size() <= original.size() &&
            std::memcmp(original.data() + written_, bytes.data(),
                        bytes.size()) == 0;
  }

  const Options &o_;
  const Input &in_;
  bool direct_;
  OutputFile file_;
  std::string held_;
  std::uint64_t written_ = 0;
  bool same_ = true;
};

struct Converted {
  std::uint64_t unconvertible = 0;
  std::optional<kmv::stream_char> first;
};

class ConvertJob {
 public:
  ConvertJob(const Input &in, kmv::handle &h, const Options &o,
             bool direct_stdout, bool single_input)
      : in_(in),
        h_(h),
        o_(o),
        out_(o, in, direct_stdout),
        bar_(single_input && o.progress != Progress::never,
             !o.in_place && (!o.output || *o.output == "-")) {}

  Outcome run() {
    if (o_.in_place && !in_.regular && !in_.problem) {
      return fail("not a regular file: --in-place replaces regular files only");
    }
    if (auto why = src_.open(in_)) return fail(*why);
    std::span<const std::byte> seen;
    const bool detecting = !o_.from || o_.from->any_utf16_order;
    const std::size_t limit = detecting ? o_.detect_bytes : 2;
    if (auto why = src_.look_ahead(limit, seen)) return fail(*why);
    if (detecting) src_.prefault();
    std::vector<std::string> notes;
    const auto source = source_encoding(seen, h_, o_, notes);
    for (const auto &note : notes)
      r_.messages.push_back("kmv: " + shown() + ": " + note);
    if (auto *why = std::get_if<std::string>(&source)) return fail(*why);
    from_ = std::get<kmv::encoding>(source);
    if (auto why = out_.open()) return fail(*why);
    auto converted = pump();
    if (auto *why = std::get_if<std::string>(&converted)) return fail(*why);
    if (auto why = src_.check_unchanged()) return fail(*why);
    const Converted &c = std::get<Converted>(converted);
    if (c.unconvertible > 0) {
      const std::string report = unconvertible_report(c);
      if (o_.strict) return fail(report);
      r_.messages.push_back("kmv: " + shown() + ": " + report);
    }
    if (auto why = out_.commit(src_, r_)) return fail(*why);
    return std::move(r_);
  }

 private:
  std::string shown() const { return shown_path(in_.path, in_.is_stdin); }

  Outcome fail(const std::string &why) {
    r_.failed = true;
    r_.messages.push_back("kmv: " + shown() + ": " + why);
    return std::move(r_);
  }

  std::variant<Converted, std::string> pump() {
    if (o_.strict || o_.unmappable == Unmappable::replace) {
      kmv::stream_converter conv(from_, o_.to->type);
      return pump_through(conv);
    }
    SubstitutingConverter conv(from_, o_.to->type, o_.unmappable);
    auto converted = pump_through(conv);
    auto *c = std::get_if<Converted>(&converted);
    if (c != nullptr && conv.unwritable() > 0) {
      c->first = first_unconvertible(*c);
    }
    return converted;
  }

  // Reads, converts and writes until the end of the input.
  template <typename Converter>
  std::variant<Converted, std::string> pump_through(Converter &conv) {
    const kmv::encoding to = o_.to->type;
    LineEnds ends(o_.eol, to);
    std::span<const std::byte> piece;
    if (src_.mapped()) bar_.set_total(src_.whole().size());
    std::uint64_t done = 0;
    for (;;) {
      bar_.update(done);
      if (auto why = src_.next(piece)) return *why;
      done += piece.size();
      const bool last = piece.empty();
      auto out = last ? conv.finish() : conv.feed(piece);
      if (!out) return conversion_failure(out.error(), to);
      if (auto why = out_.write(ends.rewrite(*out), src_)) return *why;
      if (last) break;
    }
    if (auto why = out_.write(ends.finish(), src_)) return *why;
    bar_.erase();
    return Converted{conv.unconvertible(), conv.first()};
  }

  // The first character that could not be converted, found again in the
  // whole text when it is at hand (the substituting conversion sees the
  // characters the target lacks only in UTF-16); else the first source
  // byte that could not be read, if any.
  std::optional<kmv::stream_char> first_unconvertible(const Converted &c) {
    if (!src_.mapped()) return c.first;
    auto whole = h_.convert(src_.whole(), from_, o_.to->type);
    if (!whole || !whole->first) return c.first;
    return kmv::stream_char{whole->first->offset, whole->first->code};
  }

  std::string conversion_failure(const kmv::error &e, kmv::encoding to) {
    if (e.status == KMV_ECTYPE) {
      return "cannot convert " + std::string(kmv::name(from_)) + " to " +
             std::string(kmv::name(to));
    }
    std::string why(e.what());
    if (e.offset) {
      why += " (" + std::string(kmv::name(from_)) + ", " +
             where(src_, *e.offset, from_) + ")";
    }
    return why + (out_.streamed_some() ? "; the text before it was written"
                                       : "; nothing written");
  }

  // Characters the source cannot be read as come first (told apart where
  // the whole text is at hand); the rest are those the target lacks.
  std::string unconvertible_report(const Converted &c) const {
    const Unreadable bad =
        src_.mapped() ? find_unreadable(h_, src_.whole(), from_) : Unreadable{};
    const std::uint64_t unread =
        std::min<std::uint64_t>(bad.count, c.unconvertible);
    std::string report;
    if (unread > 0) {
      report = unreadable_text(static_cast<std::uint32_t>(unread), from_);
      if (bad.first) {
        report += "; the first at " + where(src_, *bad.first, from_) + " (" +
                  bad.first_code + ")";
      }
    }
    const std::uint64_t unwritten = c.unconvertible - unread;
    if (unwritten == 0) return report + outcome_text();
    if (!report.empty()) report += "; ";
    report += std::to_string(unwritten) +
              (unwritten == 1 ? " character" : " characters") +
              " cannot be written in " + std::string(kmv::name(o_.to->type));
    if (c.first && (unread == 0 || c.first->offset != bad.first)) {
      report += "; the first at " + where(src_, c.first->offset, from_) + " (" +
                code_text(c.first->code, from_) + ")";
    }
    return report + outcome_text();
  }

  std::string outcome_text() const {
    if (o_.strict) return "; nothing written";
    switch (o_.unmappable) {
      case Unmappable::skip:
        return "; skipped";
      case Unmappable::html:
        return "; written as &#NNNNN;";
      case Unmappable::escape:
        return "; written as \\uXXXX";
      default:
        return "; replaced";
    }
  }

  const Input &in_;
  kmv::handle &h_;
  const Options &o_;
  InputText src_;
  Destination out_;
  ByteProgress bar_;
  kmv::encoding from_ = kmv::encoding::unknown;
  Outcome r_;
};

}  // namespace

int run_convert(const Options &o) {
  install_signal_cleanup();
  // On one thread each file's text goes out while it is converted; files
  // converted on other threads wait for their turn in memory.
  const bool direct = o.jobs <= 1;
  // A single text gets a progress bar of its own (on a terminal).
  const bool single = !o.recursive && o.files.size() <= 1;
  return run_over_inputs(o,
                         [&o, direct, single](const Input &in, kmv::handle &h) {
                           return ConvertJob(in, h, o, direct, single).run();
                         });
}

std::string shown_path(const std::string &path, bool is_stdin) {
  return is_stdin ? "(standard input)" : escaped_name(path);
}

}  // namespace kmvtool
