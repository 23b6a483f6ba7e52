#include "options.h"

#include <charconv>
#include <functional>
#include <thread>

#include "text.h"

namespace kmvtool {
namespace {

using Setter =
    std::function<std::optional<UsageError>(Options &, const std::string &)>;

struct OptionDef {
  const char *long_name;  // without "--"
  char short_name;        // 0 for none
  bool takes_value;
  unsigned commands;  // bit per Command
  Setter set;
  bool optional_value = false;  // only as --name=VALUE
};

constexpr unsigned bit(Command c) {
  return 1u << static_cast<unsigned>(c);
}
constexpr unsigned kDetect = bit(Command::detect);
constexpr unsigned kConvert = bit(Command::convert);
constexpr unsigned kCat = bit(Command::cat);

Setter flag(bool Options::*member) {
  return [member](Options &o, const std::string &) {
    o.*member = true;
    return std::optional<UsageError>();
  };
}

Setter encoding_into(std::optional<EncodingArg> Options::*member) {
  return [member](Options &o, const std::string &value) {
    auto parsed = parse_encoding_arg(value);
    if (auto *e = std::get_if<UsageError>(&parsed)) return std::optional(*e);
    o.*member = std::get<EncodingArg>(parsed);
    return std::optional<UsageError>();
  };
}

std::optional<UsageError> set_jobs(Options &o, const std::string &value) {
  unsigned n = 0;
  const char *end = value.data() + value.size();
  auto [ptr, ec] = std::from_chars(value.data(), end, n);
  if (ec != std::errc() || ptr != end || n > 256) {
    return UsageError{join("-j wants a number of jobs from 0 (one per core) ",
                           "to 256, not '", value, "'")};
  }
  if (n == 0) n = std::max(1u, std::thread::hardware_concurrency());
  o.jobs = n;
  return std::nullopt;
}

std::optional<UsageError> set_backup(Options &o, const std::string &suffix) {
  if (suffix.find('/') != std::string::npos) {
    return UsageError{
        join("--backup wants a suffix without '/', not '", suffix, "'")};
  }
  o.kept.backup_suffix = suffix.empty() ? kDefaultBackupSuffix : suffix;
  return std::nullopt;
}

std::optional<UsageError> set_eol(Options &o, const std::string &value) {
  if (value == "lf") {
    o.eol = Eol::lf;
  } else if (value == "crlf") {
    o.eol = Eol::crlf;
  } else if (value == "cr") {
    o.eol = Eol::cr;
  } else {
    return UsageError{join("--eol wants lf, crlf or cr, not '", value, "'")};
  }
  return std::nullopt;
}

std::optional<UsageError> set_unmappable(Options &o, const std::string &value) {
  o.strict = value == "fail";
  if (value == "replace" || value == "fail") {
    o.unmappable = Unmappable::replace;
  } else if (value == "skip") {
    o.unmappable = Unmappable::skip;
  } else if (value == "html") {
    o.unmappable = Unmappable::html;
  } else if (value == "escape") {
    o.unmappable = Unmappable::escape;
  } else {
    return UsageError{join("--unmappable wants replace, skip, html, escape ",
                           "or fail, not '", value, "'")};
  }
  return std::nullopt;
}

// A number of bytes, with an optional K, M or G (powers of 1024).
std::optional<UsageError> set_detect_bytes(Options &o,
                                           const std::string &value) {
  std::size_t n = 0;
  const char *end = value.data() + value.size();
  auto [ptr, ec] = std::from_chars(value.data(), end, n);
  unsigned shift = 0;
  if (ptr != end && ptr + 1 == end) {
    shift = *ptr == 'K' ? 10 : *ptr == 'M' ? 20 : *ptr == 'G' ? 30 : 64;
    ++ptr;
  }
  if (ec != std::errc() || ptr != end || n == 0 || shift == 64 ||
      n > (std::size_t{1} << 40 >> shift)) {
    return UsageError{
        join("--detect-bytes wants a size such as 4M, not '", value, "'")};
  }
  o.detect_bytes = n << shift;
  return std::nullopt;
}

const std::vector<OptionDef> &option_defs() {
  static const std::vector<OptionDef> specs = {
      {"to", 't', true, kConvert | kCat, encoding_into(&Options::to)},
      {"from", 'f', true, kConvert, encoding_into(&Options::from)},
      {"expect", 'e', true, kDetect | kConvert | kCat,
       encoding_into(&Options::expect)},
      {"ignore-hints", 0, false, kDetect | kConvert,
       flag(&Options::ignore_hints)},
      {"json", 0, false, kDetect, flag(&Options::json)},
      {"guess", 0, false, kDetect, flag(&Options::guess)},
      {"no-guess", 0, false, kConvert, flag(&Options::no_guess)},
      {"recursive", 'r', false, kDetect | kConvert, flag(&Options::recursive)},
      {"in-place", 'i', false, kConvert, flag(&Options::in_place)},
      {"backup", 0, false, kConvert, set_backup, true},
      {"keep-time", 0, false, kConvert,
       [](Options &o, const std::string &) {
         o.kept.keep_time = true;
         return std::optional<UsageError>();
       }},
      {"force", 0, false, kConvert,
       [](Options &o, const std::string &) {
         o.kept.force = true;
         return std::optional<UsageError>();
       }},
      {"follow-links", 0, false, kDetect | kConvert,
       flag(&Options::follow_links)},
      {"strict", 0, false, kConvert | kCat, flag(&Options::strict)},
      {"unmappable", 0, true, kConvert | kCat, set_unmappable},
      {"output", 'o', true, kConvert,
       [](Options &o, const std::string &v) {
         o.output = v;
         return std::optional<UsageError>();
       }},
      {"jobs", 'j', true, kDetect | kConvert, set_jobs},
      {"eol", 0, true, kConvert | kCat, set_eol},
      {"detect-bytes", 0, true, kDetect | kConvert, set_detect_bytes},
      {"progress", 0, false, kDetect | kConvert,
       [](Options &o, const std::string &) {
         o.progress = Progress::always;
         return std::optional<UsageError>();
       }},
      {"no-progress", 0, false, kDetect | kConvert,
       [](Options &o, const std::string &) {
         o.progress = Progress::never;
         return std::optional<UsageError>();
       }},
  };
  return specs;
}

std::optional<Command> command_named(const std::string &word) {
  if (word == "detect") return Command::detect;
  if (word == "convert") return Command::convert;
  if (word == "cat") return Command::cat;
  if (word == "list") return Command::list;
  if (word == "help" || word == "-h" || word == "--help") return Command::help;
  if (word == "--version" || word == "version") return Command::version;
  return std::nullopt;
}

const OptionDef *find_long(const std::string &name) {
  for (const auto &def : option_defs()) {
    if (name == def.long_name) return &def;
  }
  return nullptr;
}

const OptionDef *find_short(char c) {
  for (const auto &def : option_defs()) {
    if (def.short_name != 0 && def.short_name == c) return &def;
  }
  return nullptr;
}

std::string command_word(Command c) {
  switch (c) {
    case Command::detect:
      return "detect";
    case Command::convert:
      return "convert";
    case Command::cat:
      return "cat";
    case Command::list:
      return "list";
    default:
      return "kmv";
  }
}

// Reads one option at args[i] (moving i past its value); nullopt when done.
std::optional<UsageError> take_option(Options &o,
                                      const std::vector<std::string> &args,
                                      size_t &i) {
  const std::string &arg = args[i];
  const OptionDef *def = nullptr;
  std::optional<std::string> value;
  std::string shown = arg;
  if (arg.rfind("--", 0) == 0) {
    const auto eq = arg.find('=');
    const std::string name =
        arg.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
    if (eq != std::string::npos) value = arg.substr(eq + 1);
    def = find_long(name);
    shown = join("--", name);
  } else {
    def = find_short(arg[1]);
    if (arg.size() > 2) value = arg.substr(2);
    shown = arg.substr(0, 2);
  }
  if (def == nullptr || (def->commands & bit(o.command)) == 0) {
    return UsageError{join("'", command_word(o.command), "' has no option ",
                           shown, " (see 'kmv --help')")};
  }
  if (def->takes_value && !value) {
    if (i + 1 >= args.size()) return UsageError{join(shown, " wants a value")};
    value = args[++i];
  } else if (!def->takes_value && value && !def->optional_value) {
    return UsageError{join(shown, " takes no value")};
  }
  return def->set(o, value.value_or(""));
}

std::optional<UsageError> check_combination(const Options &o) {
  const bool needs_to =
      o.command == Command::convert || o.command == Command::cat;
  if (needs_to && !o.to) {
    return UsageError{join("'", command_word(o.command),
                           "' wants the target encoding: --to NAME (see "
                           "'kmv list')")};
  }
  if (needs_to && o.to->type == kmv::encoding::ascii) {
    return UsageError{
        "ASCII is no target: characters beyond it would have "
        "nowhere to go; use --to utf-8 or another encoding"};
  }
  if (o.output && o.in_place) {
    return UsageError{"-o and --in-place exclude each other"};
  }
  if (o.output && (o.files.size() > 1 || o.recursive)) {
    return UsageError{"-o writes one file: give one input, or use --in-place"};
  }
  const bool keeps = o.kept.keep_time || o.kept.force || o.kept.backup_suffix;
  if (keeps && !o.in_place) {
    return UsageError{"--backup, --keep-time and --force go with --in-place"};
  }
  if (o.follow_links && !o.recursive) {
    return UsageError{"--follow-links goes with -r"};
  }
  if (o.in_place) {
    if (o.files.empty())
      return UsageError{"--in-place wants files, not standard input"};
    for (const auto &f : o.files) {
      if (f == "-")
        return UsageError{"--in-place cannot replace standard input"};
    }
  }
  return std::nullopt;
}

}  // namespace

std::variant<EncodingArg, UsageError> parse_encoding_arg(
    const std::string &name) {
  const auto type = kmv::parse_encoding(name);
  if (!type) {
    return UsageError{join("unknown encoding '", name, "' (see 'kmv list')")};
  }
  const std::string key = kmv::normalized_name(name);
  return EncodingArg{*type, key == "utf16"};
}

std::variant<Options, UsageError> parse_options(
    const std::vector<std::string> &args) {
  Options o;
  if (args.empty()) return o;  // help
  const auto command = command_named(args[0]);
  if (!command) {
    return UsageError{join("unknown command '", args[0],
                           "' (commands: detect, convert, cat, list; see "
                           "'kmv --help')")};
  }
  o.command = *command;
  bool options_done = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string &arg = args[i];
    if (!options_done && arg == "--") {
      options_done = true;
    } else if (!options_done && arg.size() > 1 && arg[0] == '-') {
      if (auto failure = take_option(o, args, i)) return *failure;
    } else if (o.command == Command::list || o.command == Command::help ||
               o.command == Command::version) {
      return UsageError{
          join("'", command_word(o.command), "' takes no arguments")};
    } else {
      o.files.push_back(arg);
    }
  }
  if (auto failure = check_combination(o)) return *failure;
  return o;
}

std::string usage_text() {
  return R"(Usage:
  kmv detect [--expect NAME] [--ignore-hints] [--guess] [--json]
             [-r [--follow-links]] [-j N] [FILE...]
  kmv convert --to NAME [--from NAME] [--expect NAME] [-o OUT | --in-place
              [--backup[=SUFFIX]] [--keep-time] [--force]]
              [--unmappable POLICY] [--no-guess] [--eol lf|crlf|cr]
              [-r [--follow-links]] [-j N] [FILE...]
  kmv cat --to NAME [--expect NAME] [--unmappable POLICY] [--eol lf|crlf|cr]
          [FILE...]
  kmv list

Detects and converts the encodings of Japanese text: ISO-2022-JP, Shift_JIS
(CP932), EUC-JP (four table variants), UTF-16BE/LE, UTF-8 and ASCII.
A FILE of - (or no FILE) is standard input.

  detect        one line per file: "path: NAME", the candidates joined by
                ";" when the evidence does not single one out, "none" when
                no encoding fits, "empty" for an empty file
  convert       writes the text in the --to encoding (to standard output
                unless -o or --in-place); the source encoding is detected
                unless --from names it, and guessed when detection leaves
                several candidates
  cat           prints the files one after another in the --to encoding
  list          every encoding name kmv accepts

Options:
  -t, --to NAME       target encoding
  -f, --from NAME     source encoding (no detection)
  -e, --expect NAME   encoding to prefer when the evidence is undecided
      --ignore-hints  decide on the bytes alone (no preference, no zero-byte rule)
      --guess         detect: name one encoding per file, the best guess where
                      the evidence leaves several ("none" when none fits)
      --no-guess      convert: fail on an undecided text instead of guessing
      --json          one JSON object per file
  -o, --output OUT    write to OUT (- for standard output)
  -i, --in-place      replace each file by its conversion (atomically),
                      keeping its owner, group, permissions and extended
                      attributes (ACLs too)
      --backup[=SUFFIX]
                      with --in-place, keep the original as FILE~ (FILESUFFIX)
      --keep-time     with --in-place, keep the modification time
      --force         with --in-place, replace another user's file even
                      though the new file will be yours
      --unmappable replace|skip|html|escape|fail
                      a character the target lacks becomes ? (replace, the
                      default), nothing (skip), &#NNNNN; (html), \uXXXX
                      (escape), or fails the file, writing nothing (fail)
      --strict        the same as --unmappable=fail
      --eol lf|crlf|cr
                      write every line end (CR LF, CR, LF) in this form
      --detect-bytes N
                      how much of a pipe detection looks at (default 4M;
                      a file is looked at whole)
  -r, --recursive     walk directories
      --follow-links  with -r, also read links to files outside the trees
  -j, --jobs N        work on N files at once (0: one per core)
      --progress, --no-progress
                      show or hide progress on standard error (default: shown
                      on a terminal for several files)
  -h, --help          this text
      --version       the version

Exit status: 0 success, 1 a file failed, 2 a usage error.
)";
}

}  // namespace kmvtool
