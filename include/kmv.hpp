// kmv.hpp: a header-only C++20 interface over the C interface of kmv.h.
//
//   kmv::handle h;                                   // one per thread
//   auto found = h.detect(bytes);                    // decided or candidates
//   auto out = h.convert(bytes, kmv::encoding::sjis, kmv::encoding::utf8);
//   if (out) use(out->bytes.view(), out->unconvertible);
//
// Failures come back as values (kmv::result<T>); nothing here throws
// except what the standard library throws when memory runs out.
#ifndef KMV_HPP
#define KMV_HPP

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "kmv.h"
#include "kmv_ext.h"

namespace kmv {

// The encodings of the library, with the library's type codes.
enum class encoding : std::int32_t {
  unknown = KMV_TYPE_UNKNOWN,
  ascii = KMV_TYPE_ASCII,
  jis = KMV_TYPE_JIS,    // ISO-2022-JP (code page 50221)
  sjis = KMV_TYPE_SJIS,  // Shift_JIS (code page 932)
  euc = KMV_TYPE_EUC,    // EUC-JP, the subset all variants share
  euc1 = KMV_TYPE_EUC1,  // EUC-JP after code page 20932 (JIS X 0212 too)
  euc2 = KMV_TYPE_EUC2,  // EUC-JP after code page 51932 (NEC/IBM rows)
  euc3 = KMV_TYPE_EUC3,  // eucJP-ms
  utf16be = KMV_TYPE_UTF16BE,
  utf16be_bom = KMV_TYPE_UTF16BE_BOM,
  utf16le = KMV_TYPE_UTF16LE,
  utf16le_bom = KMV_TYPE_UTF16LE_BOM,
  utf8 = KMV_TYPE_UTF8,
  utf8_bom = KMV_TYPE_UTF8_BOM,
};

inline constexpr std::array<encoding, 13> all_encodings = {
    encoding::ascii,   encoding::jis,         encoding::sjis,
    encoding::euc,     encoding::euc1,        encoding::euc2,
    encoding::euc3,    encoding::utf16be,     encoding::utf16be_bom,
    encoding::utf16le, encoding::utf16le_bom, encoding::utf8,
    encoding::utf8_bom};

constexpr std::int32_t code(encoding e) {
  return static_cast<std::int32_t>(e);
}

constexpr bool is_euc(encoding e) {
  return e == encoding::euc || e == encoding::euc1 || e == encoding::euc2 ||
         e == encoding::euc3;
}

constexpr bool has_bom(encoding e) {
  return e == encoding::utf16be_bom || e == encoding::utf16le_bom ||
         e == encoding::utf8_bom;
}

// The byte-order mark that starts a text of this encoding ("" for none).
constexpr std::string_view bom_bytes(encoding e) {
  switch (e) {
    case encoding::utf16be_bom:
      return "\xFE\xFF";
    case encoding::utf16le_bom:
      return "\xFF\xFE";
    case encoding::utf8_bom:
      return "\xEF\xBB\xBF";
    default:
      return {};
  }
}

// The library's name of an encoding ("SJIS", "EUC3(EUC-MS)", ...).
inline std::string_view name(encoding e) {
  for (std::uint64_t row = 1; row < typeNamesSize; ++row) {
    if (typeNames[row].type == code(e)) return typeNames[row].name;
  }
  return "Unknown";
}

// A name users type for an encoding, beside the library's own names.
struct alias {
  std::string_view name;
  encoding target;
};

inline constexpr alias aliases[] = {
    {"US-ASCII", encoding::ascii},
    {"ISO-2022-JP", encoding::jis},
    {"csISO2022JP", encoding::jis},
    {"CP50221", encoding::jis},
    {"Shift_JIS", encoding::sjis},
    {"CP932", encoding::sjis},
    {"MS932", encoding::sjis},
    {"Windows-31J", encoding::sjis},
    {"MS_Kanji", encoding::sjis},
    {"csShiftJIS", encoding::sjis},
    {"x-sjis", encoding::sjis},
    {"EUC-JP", encoding::euc},
    {"ujis", encoding::euc},
    {"x-euc-jp", encoding::euc},
    {"EUC1", encoding::euc1},
    {"CP20932", encoding::euc1},
    {"EUC2", encoding::euc2},
    {"CP51932", encoding::euc2},
    {"EUC3", encoding::euc3},
    {"eucJP-ms", encoding::euc3},
    {"UTF-16BE", encoding::utf16be},
    {"UTF-16BE-BOM", encoding::utf16be_bom},
    {"UTF-16LE", encoding::utf16le},
    {"UTF-16LE-BOM", encoding::utf16le_bom},
    // Like Windows and most converters, plain "UTF-16" writes a mark and
    // little-endian units.
    {"UTF-16", encoding::utf16le_bom},
    {"UTF-8", encoding::utf8},
    {"UTF-8-BOM", encoding::utf8_bom},
    {"UTF-8-SIG", encoding::utf8_bom},
};

// Lower case, without '-', '_' and ' ': "Shift_JIS", "shift-jis" and
// "SHIFTJIS" are one name.
inline std::string normalized_name(std::string_view text) {
  std::string key;
  key.reserve(text.size());
  for (char c : text) {
    if (c == '_' || c == '-' || c == ' ') continue;
    key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return key;
}

// Any of the library's names or a common alias, in any case, with or
// without '-' and '_'.
inline std::optional<encoding> parse_encoding(std::string_view text) {
  const std::string key = normalized_name(text);
  if (key.empty()) return std::nullopt;
  for (encoding e : all_encodings) {
    if (normalized_name(name(e)) == key) return e;
  }
  for (const alias &a : aliases) {
    if (normalized_name(a.name) == key) return a.target;
  }
  return std::nullopt;
}

// ------------------------------------------------------------------------
// Errors and results.

// A failure: a status code of the library (KMV_EALLOC, KMV_ECTYPE, ...) and,
// where it names a place in the input, its byte offset.
struct error {
  std::int32_t status = KMV_SUCCESS;
  std::optional<std::size_t> offset;

  // The short name of the status ("EALLOC"), or "Unknown".
  std::string_view name() const {
    const std::string_view text = library_text();
    return text.empty() ? "Unknown" : text.substr(0, text.find(':'));
  }
  // The library's own description, in Japanese (UTF-8).
  std::string_view message() const {
    const std::string_view text = library_text();
    const auto colon = text.find(':');
    return colon == std::string_view::npos ? text : text.substr(colon + 1);
  }
  // A short English description.
  std::string_view what() const {
    switch (status) {
      case KMV_EOF:
        return "no supported encoding fits the text";
      case KMV_ENOTEXISTS:
        return "no such file";
      case KMV_ENOTFILE:
        return "not a regular file";
      case KMV_EALLOC:
        return "out of memory";
      case KMV_EROPEN:
        return "cannot open for reading";
      case KMV_EWOPEN:
        return "cannot open for writing";
      case KMV_EREAD:
        return "read error";
      case KMV_EWRITE:
        return "write error";
      case KMV_ECTYPE:
        return "unsupported encoding or pair of encodings";
      case KMV_EUEXPEOD:
        return "the text ends inside a character";
      case KMV_ECHAR:
        return "malformed character";
      default:
        return "failure";
    }
  }

 private:
  std::string_view library_text() const {
    for (std::uint64_t i = 0; i < satusMessageSize; ++i) {
      if (satusMessage[i].code == status) return satusMessage[i].message;
    }
    return {};
  }
};

// Either a value or an error, like std::expected.
template <typename T>
class [[nodiscard]] result {
 public:
  result(T value) : state_(std::move(value)) {}
  result(kmv::error failure) : state_(std::move(failure)) {}

  bool has_value() const { return state_.index() == 0; }
  explicit operator bool() const { return has_value(); }

  // Only when has_value(); otherwise the program stops.
  T &value() & { return *checked(); }
  const T &value() const & { return *checked(); }
  T &&value() && { return std::move(*checked()); }
  T &operator*() & { return value(); }
  const T &operator*() const & { return value(); }
  T &&operator*() && { return std::move(*checked()); }
  T *operator->() { return checked(); }
  const T *operator->() const { return checked(); }

  // Only when !has_value().
  const kmv::error &error() const {
    const auto *failure = std::get_if<kmv::error>(&state_);
    if (failure == nullptr) std::abort();
    return *failure;
  }

 private:
  T *checked() {
    auto *value = std::get_if<T>(&state_);
    if (value == nullptr) std::abort();
    return value;
  }
  const T *checked() const {
    const auto *value = std::get_if<T>(&state_);
    if (value == nullptr) std::abort();
    return value;
  }
  std::variant<T, kmv::error> state_;
};

// ------------------------------------------------------------------------
// Buffers the library hands out.

// Owns bytes allocated by the library (or by this header) with malloc.
class buffer {
 public:
  buffer() = default;
  // Takes ownership of memory from malloc.
  buffer(unsigned char *data, std::size_t size) : data_(data), size_(size) {}
  buffer(const buffer &) = delete;
  buffer &operator=(const buffer &) = delete;
  buffer(buffer &&other) noexcept
      : data_(std::exchange(other.data_, nullptr)),
        size_(std::exchange(other.size_, 0)) {}
  buffer &operator=(buffer &&other) noexcept {
    if (this != &other) {
      std::free(data_);
      data_ = std::exchange(other.data_, nullptr);
      size_ = std::exchange(other.size_, 0);
    }
    return *this;
  }
  ~buffer() { std::free(data_); }

  // A copy of the given bytes; an empty buffer when memory runs out and
  // the bytes were not empty (see ok()).
  static buffer copy_of(std::span<const std::byte> bytes,
                        std::string_view prefix = {}) {
    const std::size_t n = prefix.size() + bytes.size();
    auto *data = static_cast<unsigned char *>(std::malloc(n == 0 ? 1 : n));
    if (data == nullptr) return {};
    if (!prefix.empty()) std::memcpy(data, prefix.data(), prefix.size());
    if (!bytes.empty()) {
      std::memcpy(data + prefix.size(), bytes.data(), bytes.size());
    }
    return buffer(data, n);
  }

  bool ok() const { return data_ != nullptr; }
  const unsigned char *data() const { return data_; }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::span<const std::byte> bytes() const {
    return {reinterpret_cast<const std::byte *>(data_), size_};
  }
  std::string_view view() const {
    return {reinterpret_cast<const char *>(data_), size_};
  }
  std::string str() const { return std::string(view()); }

 private:
  unsigned char *data_ = nullptr;
  std::size_t size_ = 0;
};

inline std::span<const std::byte> as_bytes(std::string_view text) {
  return std::as_bytes(std::span<const char>(text.data(), text.size()));
}

// ------------------------------------------------------------------------
// Detection results.

// A set of candidate encodings (the detector's undecided answer).
class candidate_set {
 public:
  constexpr candidate_set() = default;
  constexpr explicit candidate_set(std::uint32_t mask) : mask_(mask) {}

  constexpr std::uint32_t mask() const { return mask_; }
  constexpr bool empty() const { return mask_ == 0; }
  bool contains(encoding e) const { return (mask_ & mask_of(e)) != 0; }
  std::vector<encoding> list() const {
    std::vector<encoding> out;
    for (encoding e : all_encodings) {
      if (contains(e)) out.push_back(e);
    }
    return out;
  }
  // The names joined by ";", as the library writes them.
  std::string names() const {
    std::string out;
    for (encoding e : list()) {
      if (!out.empty()) out += ';';
      out += name(e);
    }
    return out;
  }

  static std::uint32_t mask_of(encoding e) {
    for (std::uint64_t row = 1; row < typeNamesSize; ++row) {
      if (typeNames[row].type == code(e)) return typeNames[row].mask;
    }
    return 0;
  }

 private:
  std::uint32_t mask_ = 0;
};

// What the detector said about a text.
struct detection {
  std::int32_t raw = 0;  // the detector's own answer (a code, a mask or -1)

  // One encoding was found.
  bool decided() const { return raw > 0 && raw < KMV_MASK_MIN; }
  // Neither decided nor candidates: no encoding fits, or (raw 0) the text
  // is empty.
  bool none() const { return raw < 0 || raw == 0; }
  // The encoding when decided(), else encoding::unknown.
  encoding type() const {
    return decided() ? static_cast<encoding>(raw) : encoding::unknown;
  }
  // The encodings still possible: the one decided, or the candidates.
  candidate_set candidates() const {
    if (decided()) return candidate_set(candidate_set::mask_of(type()));
    if (raw >= KMV_MASK_MIN)
      return candidate_set(static_cast<std::uint32_t>(raw));
    return {};
  }
};

// Where in its source a character stood, and its code there.
struct source_char {
  std::size_t offset = 0;
  std::int32_t code = -1;
};

// A converted text and what could not be converted.
struct conversion {
  buffer bytes;
  // Characters written as a replacement ("?") because the target has none.
  std::uint32_t unconvertible = 0;
  std::optional<source_char> first;
  std::optional<source_char> last;
};

// ------------------------------------------------------------------------
// The conversion handle.

class handle {
 public:
  handle() : raw_(create_kmv()) {}
  handle(const handle &) = delete;
  handle &operator=(const handle &) = delete;
  handle(handle &&other) noexcept : raw_(std::exchange(other.raw_, nullptr)) {}
  handle &operator=(handle &&other) noexcept {
    if (this != &other) {
      release_kmv(raw_);
      raw_ = std::exchange(other.raw_, nullptr);
    }
    return *this;
  }
  ~handle() { release_kmv(raw_); }

  // False when the handle could not be allocated.
  explicit operator bool() const { return raw_ != nullptr; }
  kmv_handle *get() const { return raw_; }

  // Reads EUC-JP text by the tables of this variant (euc, euc1, euc2, euc3);
  // other encodings leave the handle as it is. Detection resets it.
  void use_euc_source(encoding variant) {
    if (raw_ == nullptr) return;
    switch (variant) {
      case encoding::euc:
        set_decoding(euc2unibecommon_table00, euc2unibecommon_table00_size,
                     nullptr, 0);
        break;
      case encoding::euc1:
        set_decoding(euc2unibe20932_table00, euc2unibe20932_table00_size,
                     euc2unibe20932_table8f, euc2unibe20932_table8f_size);
        break;
      case encoding::euc2:
        set_decoding(euc2unibe51932_table00, euc2unibe51932_table00_size,
                     nullptr, 0);
        break;
      case encoding::euc3:
        set_decoding(euc2unibems_table00, euc2unibems_table00_size,
                     euc2unibems_table8f, euc2unibems_table8f_size);
        break;
      default:
        break;
    }
  }

  // Writes EUC-JP text by the tables of this variant.
  void use_euc_target(encoding variant) {
    if (raw_ == nullptr) return;
    switch (variant) {
      case encoding::euc:
        set_encoding(unibe2euccommon_table, unibe2euccommon_table_size, nullptr,
                     0);
        break;
      case encoding::euc1:
        set_encoding(nullptr, 0, unibe2euc20932_table,
                     unibe2euc20932_table_size);
        break;
      case encoding::euc2:
        set_encoding(unibe2euc51932_table, unibe2euc51932_table_size, nullptr,
                     0);
        break;
      case encoding::euc3:
        set_encoding(nullptr, 0, unibe2eucms_table, unibe2eucms_table_size);
        break;
      default:
        break;
    }
  }

  // The encoding of a text: decided, or the candidates that remain.
  // `expected` breaks ties in its favour; `ignore_hints` sets aside the
  // expected encoding, the kana preference and the zero-byte rule.
  result<detection> detect(std::span<const std::byte> text,
                           encoding expected = encoding::unknown,
                           bool ignore_hints = false) {
    if (raw_ == nullptr) return error{KMV_EALLOC, {}};
    const std::int32_t raw =
        kmv_buf(raw_, reinterpret_cast<const unsigned char *>(text.data()),
                text.size(), code(expected), ignore_hints ? 1 : 0);
    return detection{raw};
  }
  result<detection> detect(std::string_view text,
                           encoding expected = encoding::unknown,
                           bool ignore_hints = false) {
    return detect(as_bytes(text), expected, ignore_hints);
  }

  // The best guess: one encoding even where detection leaves candidates,
  // weighed by how Japanese text is made; a decided answer is the guess.
  struct guess_result {
    std::optional<encoding> type;  // none when no encoding fits
    std::optional<encoding> runner_up;
    float confidence = 0;  // 0 to 1
    detection detected;
  };
  result<guess_result> guess(std::span<const std::byte> text,
                             encoding expected = encoding::unknown) {
    kmvx_guess_result g{};
    const std::int32_t status =
        kmvx_guess(raw_, reinterpret_cast<const unsigned char *>(text.data()),
                   text.size(), code(expected), &g);
    if (status != KMV_SUCCESS) return error{status, {}};
    const auto as_encoding = [](std::int32_t t) {
      return t < 0 ? std::nullopt
                   : std::optional<encoding>(static_cast<encoding>(t));
    };
    return guess_result{as_encoding(g.type), as_encoding(g.runner_up),
                        g.confidence, detection{g.detected}};
  }
  result<guess_result> guess(std::string_view text,
                             encoding expected = encoding::unknown) {
    return guess(as_bytes(text), expected);
  }

  // Converts a whole text. A Unicode source is taken with or without its
  // byte-order mark as the text itself shows; the target gets a mark exactly
  // when it is a _bom form. ASCII text is read as Shift_JIS; ASCII is no
  // target except for ASCII text.
  result<conversion> convert(std::span<const std::byte> text, encoding from,
                             encoding to);
  result<conversion> convert(std::string_view text, encoding from,
                             encoding to) {
    return convert(as_bytes(text), from, to);
  }

 private:
  void set_decoding(const std::uint16_t *t00, std::uint64_t n00,
                    const std::uint16_t *t8f, std::uint64_t n8f) {
    raw_->euc2unibe_table00 = t00;
    raw_->euc2unibe_table00_size = n00;
    raw_->euc2unibe_table8f = t8f;
    raw_->euc2unibe_table8f_size = n8f;
  }
  void set_encoding(const std::uint16_t *t2, std::uint64_t n2,
                    const std::uint32_t *t4, std::uint64_t n4) {
    raw_->unibe2euc_table = t2;
    raw_->unibe2euc_table_size = n2;
    raw_->unibe2euc_table4 = t4;
    raw_->unibe2euc_table4_size = n4;
  }

  kmv_handle *raw_ = nullptr;
};

namespace detail {

enum class family { none, jis, sjis, euc, unibe, unile, utf8 };

constexpr family family_of(encoding e) {
  switch (e) {
    case encoding::ascii:
    case encoding::sjis:
      return family::sjis;
    case encoding::jis:
      return family::jis;
    case encoding::euc:
    case encoding::euc1:
    case encoding::euc2:
    case encoding::euc3:
      return family::euc;
    case encoding::utf16be:
    case encoding::utf16be_bom:
      return family::unibe;
    case encoding::utf16le:
    case encoding::utf16le_bom:
      return family::unile;
    case encoding::utf8:
    case encoding::utf8_bom:
      return family::utf8;
    default:
      return family::none;
  }
}

inline bool starts_with(std::span<const std::byte> text, std::string_view p) {
  return text.size() >= p.size() &&
         std::memcmp(text.data(), p.data(), p.size()) == 0;
}

// A Unicode source is what its first bytes show: with or without its mark.
inline encoding actual_source(std::span<const std::byte> text, encoding e) {
  switch (family_of(e)) {
    case family::unibe:
      return starts_with(text, "\xFE\xFF") ? encoding::utf16be_bom
                                           : encoding::utf16be;
    case family::unile:
      return starts_with(text, "\xFF\xFE") ? encoding::utf16le_bom
                                           : encoding::utf16le;
    case family::utf8:
      return starts_with(text, "\xEF\xBB\xBF") ? encoding::utf8_bom
                                               : encoding::utf8;
    default:
      return e;
  }
}

using plain_converter = std::int32_t (*)(kmv_handle *, unsigned char **,
                                         std::uint64_t *,
                                         const unsigned char **,
                                         const unsigned char *, std::uint64_t);
using bom_converter = std::int32_t (*)(kmv_handle *, unsigned char **,
                                       std::uint64_t *, const unsigned char **,
                                       const unsigned char *, std::uint64_t,
                                       int);
struct converter {
  plain_converter plain = nullptr;
  bom_converter with_bom = nullptr;
};

// Rows and columns: jis, sjis, euc, unibe, unile, utf8 (family order).
inline converter converter_for(family from, family to) {
  static const converter matrix[6][6] = {
      {{},
       {kmv_jisto_sjis, nullptr},
       {kmv_jisto_euc, nullptr},
       {nullptr, kmv_jisto_unibe},
       {nullptr, kmv_jisto_unile},
       {nullptr, kmv_jisto_utf8}},
      {{kmv_sjisto_jis, nullptr},
       {},
       {kmv_sjisto_euc, nullptr},
       {nullptr, kmv_sjisto_unibe},
       {nullptr, kmv_sjisto_unile},
       {nullptr, kmv_sjisto_utf8}},
      {{kmv_eucto_jis, nullptr},
       {kmv_eucto_sjis, nullptr},
       {kmv_eucto_euc, nullptr},
       {nullptr, kmv_eucto_unibe},
       {nullptr, kmv_eucto_unile},
       {nullptr, kmv_eucto_utf8}},
      {{kmv_unibeto_jis, nullptr},
       {kmv_unibeto_sjis, nullptr},
       {kmv_unibeto_euc, nullptr},
       {},
       {nullptr, kmv_unibeto_unile},
       {nullptr, kmv_unibeto_utf8}},
      {{kmv_unileto_jis, nullptr},
       {kmv_unileto_sjis, nullptr},
       {kmv_unileto_euc, nullptr},
       {nullptr, kmv_unileto_unibe},
       {},
       {nullptr, kmv_unileto_utf8}},
      {{kmv_utf8to_jis, nullptr},
       {kmv_utf8to_sjis, nullptr},
       {kmv_utf8to_euc, nullptr},
       {nullptr, kmv_utf8to_unibe},
       {nullptr, kmv_utf8to_unile},
       {}},
  };
  if (from == family::none || to == family::none) return {};
  return matrix[static_cast<int>(from) - 1][static_cast<int>(to) - 1];
}

inline result<conversion> copied(std::span<const std::byte> text,
                                 std::string_view prefix = {}) {
  buffer out = buffer::copy_of(text, prefix);
  if (!out.ok()) return error{KMV_EALLOC, {}};
  return conversion{std::move(out), 0, {}, {}};
}

}  // namespace detail

inline result<conversion> handle::convert(std::span<const std::byte> text,
                                          encoding from, encoding to) {
  using detail::family;
  if (raw_ == nullptr) return error{KMV_EALLOC, {}};
  const encoding source = detail::actual_source(text, from);
  const family source_family = detail::family_of(source);
  const family target_family = detail::family_of(to);
  if (target_family == family::none) return error{KMV_ECTYPE, {}};
  if (text.empty()) return detail::copied(text, bom_bytes(to));
  if (source == to) return detail::copied(text);
  if (source_family == family::none || to == encoding::ascii) {
    return error{KMV_ECTYPE, {}};
  }
  // Only the byte-order mark differs: add or drop it.
  const int bom = kmv_cmp_bom(code(source), code(to));
  if (bom > 0) return detail::copied(text, bom_bytes(to));
  if (bom < 0) return detail::copied(text.subspan(bom_bytes(source).size()));
  // ASCII into Shift_JIS: the text is already both.
  if (source_family == target_family && source_family != family::euc) {
    return detail::copied(text);
  }
  use_euc_source(source);
  use_euc_target(to);
  const detail::converter fn =
      detail::converter_for(source_family, target_family);
  unsigned char *out = nullptr;
  std::uint64_t out_len = 0;
  const unsigned char *stop = nullptr;
  const auto *src = reinterpret_cast<const unsigned char *>(text.data());
  const std::int32_t status =
      fn.plain != nullptr
          ? fn.plain(raw_, &out, &out_len, &stop, src, text.size())
          : fn.with_bom(raw_, &out, &out_len, &stop, src, text.size(),
                        has_bom(to) ? 1 : 0);
  buffer bytes(out, static_cast<std::size_t>(out_len));
  if (status != KMV_SUCCESS) {
    std::optional<std::size_t> where;
    if (stop != nullptr) where = static_cast<std::size_t>(stop - src);
    return error{status, where};
  }
  conversion done{std::move(bytes), raw_->err_count, {}, {}};
  if (raw_->err_first != nullptr) {
    done.first = source_char{static_cast<std::size_t>(raw_->err_first - src),
                             raw_->err_first_code};
  }
  if (raw_->err_last != nullptr) {
    done.last = source_char{static_cast<std::size_t>(raw_->err_last - src),
                            raw_->err_last_code};
  }
  return result<conversion>(std::move(done));
}

// ------------------------------------------------------------------------
// Reading a file whole.

// The whole file, or an error. The library reads at most
// kmv_get_max_buf_size() bytes; a longer file is an EREAD error (its offset
// the limit) rather than a silently shortened text. Raise the limit with
// kmv_set_max_buf_size before reading, and before any thread starts.
inline result<buffer> read_file(const char *path) {
  unsigned char *data = nullptr;
  std::uint64_t size = 0;
  const std::int32_t status = kmv_read_file(nullptr, &data, &size, path);
  if (status != KMV_SUCCESS) return error{status, {}};
  buffer content(data, static_cast<std::size_t>(size));
  struct stat info {};
  if (::stat(path, &info) == 0 && S_ISREG(info.st_mode) &&
      static_cast<std::uint64_t>(info.st_size) > size) {
    return error{KMV_EREAD, static_cast<std::size_t>(size)};
  }
  return content;
}

// ------------------------------------------------------------------------
// Lines of a text.

// One line: its bytes as they stand in the text, without the line end (a
// byte-order mark at the start of the text stays with the first line), and
// its number of characters.
struct line {
  std::span<const std::byte> bytes;
  std::int32_t chars = 0;
  std::size_t offset = 0;  // where the line starts in the text

  std::string_view view() const {
    return {reinterpret_cast<const char *>(bytes.data()), bytes.size()};
  }
};

// Hands out the lines of a text in the given encoding, one per next():
//
//   kmv::line_reader lines(h, text, kmv::encoding::utf8);
//   while (auto next = lines.next()) {
//     if (!*next) { /* (*next).error(): a malformed character */ continue; }
//     use((*next)->view());
//   }
//
// A malformed character is reported once, with the offset where reading
// stopped, in place of the part of its line before it; reading goes on
// behind it. The text and the handle must outlive the reader.
class line_reader {
 public:
  line_reader(const handle &h, std::span<const std::byte> text, encoding enc)
      : handle_(h.get()), text_(text), family_(detail::family_of(enc)) {}
  line_reader(const handle &h, std::string_view text, encoding enc)
      : line_reader(h, as_bytes(text), enc) {}

  // The next line; std::nullopt when the text is exhausted.
  std::optional<result<line>> next() {
    if (done_ || pos_ >= text_.size()) return std::nullopt;
    if (family_ == detail::family::none || handle_ == nullptr) {
      done_ = true;
      return result<line>(error{KMV_ECTYPE, {}});
    }
    std::size_t window = std::min<std::size_t>(text_.size() - pos_, 1 << 16);
    for (;;) {
      const scan s = scan_window(window);
      const std::size_t rest = text_.size() - pos_;
      // The line may go on past the window: read it again with more room.
      const bool may_go_on = s.status >= 0 || s.status == KMV_EUEXPEOD;
      if (window < rest && may_go_on &&
          (s.end == pos_ + window || !s.ended_line)) {
        window = std::min(rest, window * 2);
        continue;
      }
      return take(s);
    }
  }

 private:
  struct scan {
    std::int32_t status = 0;
    std::size_t end = 0;  // where the next line starts
    std::size_t copied = 0;
    std::uint32_t state = 0;
    bool ended_line = false;
  };

  scan scan_window(std::size_t window) {
    if (scratch_.size() < window) scratch_.resize(window);
    const auto *base = reinterpret_cast<const unsigned char *>(text_.data());
    const unsigned char *at = base + pos_;
    std::uint64_t copied = 0;
    std::uint32_t state = jis_state_;
    std::int32_t status = 0;
    auto *out = scratch_.data();
    switch (family_) {
      case detail::family::jis:
        status = kmv_jis_strln(handle_, out, &copied, &at, window, &state);
        break;
      case detail::family::sjis:
        status = kmv_sjis_strln(handle_, out, &copied, &at, window);
        break;
      case detail::family::euc:
        status = kmv_euc_strln(handle_, out, &copied, &at, window);
        break;
      case detail::family::unibe:
        status = kmv_unibe_strln(handle_, out, &copied, &at, window);
        break;
      case detail::family::unile:
        status = kmv_unile_strln(handle_, out, &copied, &at, window);
        break;
      default:
        status = kmv_utf8_strln(handle_, out, &copied, &at, window);
        break;
    }
    scan s;
    s.status = status;
    s.end = static_cast<std::size_t>(at - base);
    s.copied = static_cast<std::size_t>(copied);
    s.state = state;
    s.ended_line = s.end - pos_ > s.copied;
    return s;
  }

  result<line> take(const scan &s) {
    const std::size_t start = pos_;
    jis_state_ = s.state;
    if (s.status < 0) {
      // Go on behind the bad character; a scanner that stopped on it has
      // not moved, so step over one byte by hand.
      pos_ = std::max(s.end, start + 1);
      return error{s.status, s.end};
    }
    if (s.end == start) {
      // Nothing could be read: the text ends inside a character.
      done_ = true;
      return error{KMV_EUEXPEOD, start};
    }
    pos_ = s.end;
    return line{text_.subspan(start, s.copied), s.status, start};
  }

  kmv_handle *handle_;
  std::span<const std::byte> text_;
  detail::family family_;
  std::size_t pos_ = 0;
  std::uint32_t jis_state_ = 0;
  bool done_ = false;
  std::vector<unsigned char> scratch_;
};

}  // namespace kmv

#endif  // KMV_HPP
