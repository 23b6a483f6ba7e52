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

#if __cplusplus < 202002L
#error "kmv.hpp needs C++20 or later (-std=c++20)"
#endif

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iterator>
#include <optional>
#include <ostream>
#include <ranges>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>
#if __has_include(<format>)
#include <format>
#endif

#include "kmv.h"
#include "kmv_ext.h"

namespace kmv {

// The encodings of the library, with the library's type codes.
enum class encoding : std::int32_t {
  unknown = KMV_TYPE_UNKNOWN,
  ascii = KMV_TYPE_ASCII,
  jis = KMV_TYPE_JIS,           // ISO-2022-JP (code page 50221)
  sjis = KMV_TYPE_SJIS,         // Shift_JIS (code page 932)
  euc = KMV_TYPE_EUC,           // EUC-JP, the subset all variants share
  euc_cp20932 = KMV_TYPE_EUC1,  // code page 20932 (JIS X 0212 too)
  euc_cp51932 = KMV_TYPE_EUC2,  // code page 51932 (NEC/IBM rows)
  euc_jp_ms = KMV_TYPE_EUC3,    // eucJP-ms
  euc1 [[deprecated("use euc_cp20932")]] = KMV_TYPE_EUC1,
  euc2 [[deprecated("use euc_cp51932")]] = KMV_TYPE_EUC2,
  euc3 [[deprecated("use euc_jp_ms")]] = KMV_TYPE_EUC3,
  utf16be = KMV_TYPE_UTF16BE,
  utf16be_bom = KMV_TYPE_UTF16BE_BOM,
  utf16le = KMV_TYPE_UTF16LE,
  utf16le_bom = KMV_TYPE_UTF16LE_BOM,
  utf8 = KMV_TYPE_UTF8,
  utf8_bom = KMV_TYPE_UTF8_BOM,
};

inline constexpr std::array<encoding, 13> all_encodings = {
    encoding::ascii,     encoding::jis,         encoding::sjis,
    encoding::euc,       encoding::euc_cp20932, encoding::euc_cp51932,
    encoding::euc_jp_ms, encoding::utf16be,     encoding::utf16be_bom,
    encoding::utf16le,   encoding::utf16le_bom, encoding::utf8,
    encoding::utf8_bom};

constexpr std::int32_t code(encoding e) {
  return static_cast<std::int32_t>(e);
}

constexpr bool is_euc(encoding e) {
  return e == encoding::euc || e == encoding::euc_cp20932 ||
         e == encoding::euc_cp51932 || e == encoding::euc_jp_ms;
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

inline std::ostream &operator<<(std::ostream &out, encoding e) {
  return out << name(e);
}

// A name users type for an encoding, beside the library's own names. A
// `note` marks a name for an encoding kmv lacks, taken as the closest one
// and says what differs.
struct alias {
  std::string_view name;
  encoding target;
  std::string_view note = {};
};

inline constexpr alias aliases[] = {
    {"US-ASCII", encoding::ascii},
    {"ISO-2022-JP", encoding::jis},
    {"csISO2022JP", encoding::jis},
    {"CP50221", encoding::jis},
    {"CP50220", encoding::jis, "CP50221: half-width katakana stay so"},
    {"CP50222", encoding::jis, "CP50221: katakana by ESC ( I, not SO/SI"},
    {"ISO-2022-JP-MS", encoding::jis, "CP50221: no user-defined characters"},
    {"Shift_JIS", encoding::sjis},
    {"CP932", encoding::sjis},
    {"MS932", encoding::sjis},
    {"Windows-31J", encoding::sjis},
    {"MS_Kanji", encoding::sjis},
    {"csShiftJIS", encoding::sjis},
    {"x-sjis", encoding::sjis},
    {"SJIS-win", encoding::sjis, "CP932"},
    {"SJIS-open", encoding::sjis, "CP932"},
    {"EUC-JP", encoding::euc},
    {"ujis", encoding::euc},
    {"x-euc-jp", encoding::euc},
    {"EUC1", encoding::euc_cp20932},
    {"CP20932", encoding::euc_cp20932},
    {"EUC2", encoding::euc_cp51932},
    {"CP51932", encoding::euc_cp51932},
    {"EUC3", encoding::euc_jp_ms},
    {"eucJP-ms", encoding::euc_jp_ms},
    {"eucJP-win", encoding::euc_jp_ms, "eucJP-ms"},
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
  std::string_view what() const { return english(status); }
  // The same failure as a std::error_code of kmv's error_category().
  std::error_code code() const;

  static std::string_view english(std::int32_t status) {
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

// The category of kmv's status codes; its messages are English.
inline const std::error_category &error_category() noexcept {
  class category final : public std::error_category {
   public:
    const char *name() const noexcept override { return "kmv"; }
    std::string message(int status) const override {
      return std::string(error::english(status));
    }
  };
  static const category instance;
  return instance;
}

inline std::error_code error::code() const {
  return {status, error_category()};
}

inline std::error_code make_error_code(const error &failure) {
  return failure.code();
}

template <typename T>
class result;

namespace detail {
template <typename R>
struct is_result : std::false_type {};
template <typename T>
struct is_result<result<T>> : std::true_type {};
}  // namespace detail

// Either a value or an error, with the interface of std::expected: value(),
// error(), value_or(), and the chains transform(), and_then(), or_else().
template <typename T>
class [[nodiscard]] result {
 public:
  using value_type = T;
  using error_type = kmv::error;

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

  template <typename U = T>
  T value_or(U &&fallback) const & {
    return has_value() ? *checked() : static_cast<T>(std::forward<U>(fallback));
  }
  template <typename U = T>
  T value_or(U &&fallback) && {
    return has_value() ? std::move(*checked())
                       : static_cast<T>(std::forward<U>(fallback));
  }

  // result<U> holding f(value), or this error.
  template <typename F>
  auto transform(F &&f) const & {
    return chain_transform(*this, std::forward<F>(f));
  }
  template <typename F>
  auto transform(F &&f) && {
    return chain_transform(std::move(*this), std::forward<F>(f));
  }
  // f(value), itself a result, or this error.
  template <typename F>
  auto and_then(F &&f) const & {
    return chain_and_then(*this, std::forward<F>(f));
  }
  template <typename F>
  auto and_then(F &&f) && {
    return chain_and_then(std::move(*this), std::forward<F>(f));
  }
  // This value, or f(error), itself a result<T>.
  template <typename F>
  result or_else(F &&f) const & {
    if (has_value()) return *this;
    return std::invoke(std::forward<F>(f), error());
  }
  template <typename F>
  result or_else(F &&f) && {
    if (has_value()) return std::move(*this);
    return std::invoke(std::forward<F>(f), error());
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
  template <typename Self, typename F>
  static auto chain_transform(Self &&self, F &&f) {
    using U = std::remove_cvref_t<
        std::invoke_result_t<F, decltype(*std::forward<Self>(self))>>;
    if (!self.has_value()) return result<U>(self.error());
    return result<U>(
        std::invoke(std::forward<F>(f), *std::forward<Self>(self)));
  }
  template <typename Self, typename F>
  static auto chain_and_then(Self &&self, F &&f) {
    using R = std::remove_cvref_t<
        std::invoke_result_t<F, decltype(*std::forward<Self>(self))>>;
    static_assert(detail::is_result<R>::value,
                  "and_then wants a function that returns a kmv::result");
    if (!self.has_value()) return R(self.error());
    return std::invoke(std::forward<F>(f), *std::forward<Self>(self));
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

// Contiguous bytes of any one-byte type: std::span<const char>,
// std::span<const unsigned char>, std::vector<std::byte>, ...
template <typename R>
concept byte_range =
    std::ranges::contiguous_range<R> && std::ranges::sized_range<R> &&
        sizeof(std::ranges::range_value_t<R>) == 1 &&
    std::is_trivially_copyable_v<std::ranges::range_value_t<R>>;

// Texts that have no overload of their own: string_view-like texts (and
// string literals, without their terminator) go through std::string_view.
template <typename R>
concept other_byte_range =
    byte_range<R> && !std::convertible_to<const R &, std::string_view> &&
    !std::same_as<std::remove_cvref_t<R>, std::span<const std::byte>>;

template <other_byte_range R>
std::span<const std::byte> as_bytes(const R &text) {
  return std::as_bytes(
      std::span(std::ranges::data(text), std::ranges::size(text)));
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

  friend bool operator==(const detection &, const detection &) = default;

  // One encoding was found.
  bool decided() const { return raw > 0 && raw < KMV_MASK_MIN; }
  // Neither decided nor candidates: no encoding fits, or (raw 0) the text
  // is empty.
  bool none() const { return raw < 0 || raw == 0; }
  // The text was empty: there was nothing to decide on.
  bool empty() const { return raw == 0; }
  // The text has bytes, and no encoding fits them.
  bool no_fit() const { return raw < 0; }
  // The encoding to take: the one decided, or the only candidate left.
  // Nothing when several remain or none fits.
  std::optional<encoding> best() const {
    if (decided()) return type();
    const auto list = candidates().list();
    if (list.size() == 1) return list.front();
    return std::nullopt;
  }
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

  // Reads EUC-JP text by the tables of this variant (euc, euc_cp20932,
  // euc_cp51932, euc_jp_ms); other encodings leave the handle as it is.
  // Detection resets it.
  void use_euc_source(encoding variant) {
    if (raw_ == nullptr) return;
    switch (variant) {
      case encoding::euc:
        set_decoding(euc2unibecommon_table00, euc2unibecommon_table00_size,
                     nullptr, 0);
        break;
      case encoding::euc_cp20932:
        set_decoding(euc2unibe20932_table00, euc2unibe20932_table00_size,
                     euc2unibe20932_table8f, euc2unibe20932_table8f_size);
        break;
      case encoding::euc_cp51932:
        set_decoding(euc2unibe51932_table00, euc2unibe51932_table00_size,
                     nullptr, 0);
        break;
      case encoding::euc_jp_ms:
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
      case encoding::euc_cp20932:
        set_encoding(nullptr, 0, unibe2euc20932_table,
                     unibe2euc20932_table_size);
        break;
      case encoding::euc_cp51932:
        set_encoding(unibe2euc51932_table, unibe2euc51932_table_size, nullptr,
                     0);
        break;
      case encoding::euc_jp_ms:
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
  template <other_byte_range R>
  result<detection> detect(const R &text, encoding expected = encoding::unknown,
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
  template <other_byte_range R>
  result<conversion> convert(const R &text, encoding from, encoding to) {
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
    case encoding::euc_cp20932:
    case encoding::euc_cp51932:
    case encoding::euc_jp_ms:
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
inline result<buffer> read_file(const std::filesystem::path &path) {
  return read_file(path.c_str());
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

// Hands out the lines of a text in the given encoding, as a range or one
// per next():
//
//   for (const kmv::result<kmv::line> &l : kmv::line_reader(h, text, enc))
//     if (l) use(l->view());      // else l.error(): a malformed character
//
//   kmv::line_reader lines(h, text, kmv::encoding::utf8);
//   while (auto next = lines.next()) ...
//
// A malformed character is reported once, with the offset where reading
// stopped, in place of the part of its line before it; reading goes on
// behind it. The reader borrows the text and the handle, so both must
// outlive it: a temporary handle, or a temporary text that owns its bytes
// (a std::string, a std::vector), is refused at compile time.
class line_reader {
 public:
  line_reader(const handle &h, std::span<const std::byte> text, encoding enc)
      : handle_(h.get()), text_(text), family_(detail::family_of(enc)) {}
  line_reader(const handle &h, std::string_view text, encoding enc)
      : line_reader(h, as_bytes(text), enc) {}
  template <other_byte_range R>
  requires std::is_lvalue_reference_v<R> || std::ranges::borrowed_range<R>
  line_reader(const handle &h, R &&text, encoding enc)
      : line_reader(h, as_bytes(text), enc) {}

  template <typename Text>
  requires(!std::is_lvalue_reference_v<Text> &&
           !std::ranges::borrowed_range<Text>)
      line_reader(const handle &, Text &&, encoding)
  = delete;
  template <typename Text>
  line_reader(handle &&, Text &&, encoding) = delete;

  class iterator;
  iterator begin();
  std::default_sentinel_t end() const { return {}; }

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
  std::optional<result<line>> current_;  // where the range stands
};

// Walks a line_reader once (an input iterator).
class line_reader::iterator {
 public:
  using value_type = result<line>;
  using difference_type = std::ptrdiff_t;
  using iterator_concept = std::input_iterator_tag;

  iterator() = default;
  explicit iterator(line_reader *reader) : reader_(reader) {}

  const result<line> &operator*() const { return *reader_->current_; }
  const result<line> *operator->() const { return &*reader_->current_; }
  iterator &operator++() {
    reader_->current_ = reader_->next();
    return *this;
  }
  void operator++(int) { ++*this; }
  friend bool operator==(const iterator &it, std::default_sentinel_t) {
    return it.at_end();
  }

 private:
  bool at_end() const {
    return reader_ == nullptr || !reader_->current_.has_value();
  }
  line_reader *reader_ = nullptr;
};

inline line_reader::iterator line_reader::begin() {
  current_ = next();
  return iterator(this);
}

// ------------------------------------------------------------------------
// Converting a text that arrives in pieces.

// Where an unconvertible character stood in the whole text.
struct stream_char {
  std::uint64_t offset = 0;
  std::int32_t code = -1;
};

namespace detail {

// A place where a text may be cut between two conversions: every character
// before it is whole, and it stays a character boundary whatever follows.
struct text_cut {
  std::size_t at = 0;           // 0: none found
  std::size_t last_char = 0;    // where the character before `at` starts
  std::uint32_t jis_state = 0;  // an ISO-2022-JP source's state at `at`
};

// ISO-2022-JP source states carried over a cut: the shift mode, with this
// bit when a katakana run opened by SO (in the ASCII or two-byte mode) is
// open.
inline constexpr std::uint32_t kJisKatakanaRun = 4;

inline bool ascii_byte(unsigned char b) {
  return b < 0x80;
}

inline std::uint32_t unit_at(const unsigned char *p, family f) {
  return f == family::unibe ? (std::uint32_t{p[0]} << 8 | p[1])
                            : (std::uint32_t{p[1]} << 8 | p[0]);
}

// Whether a character ends at `c` however the bytes before it are read,
// even by rules that take malformed bytes apart more finely: bytes before
// the start of `s` belong to earlier characters. With `ascii_last`, the
// character before `c` must moreover be a lone ASCII character (which
// leaves an ISO-2022-JP writer in its ASCII mode).
inline bool is_anchor(const unsigned char *s, std::size_t c, family f,
                      bool ascii_last) {
  auto ascii_before = [&](std::size_t k) {  // k bytes before c, all ASCII
    for (std::size_t i = 1; i <= k && i <= c; ++i) {
      if (!ascii_byte(s[c - i])) return false;
    }
    return true;
  };
  switch (f) {
    case family::sjis: {
      // 00-3F and 7F end a character as a byte of their own or as the
      // second byte of a pair.
      const unsigned char b = s[c - 1];
      if (b >= 0x40 && b != 0x7F) return false;
      if (!ascii_last || c == 1) return true;
      const unsigned char a = s[c - 2];
      return ascii_byte(a) || (a >= 0xA1 && a <= 0xDF);
    }
    case family::euc:
    case family::utf8:
      // No character is longer than three bytes and none has an ASCII
      // byte in first place and more behind it.
      return ascii_before(ascii_last ? 3 : 2);
    case family::unibe:
    case family::unile: {
      if (c % 2 != 0) return false;
      const std::uint32_t u = unit_at(s + c - 2, f);
      if (ascii_last) return u == 0x0A || u == 0x0D || u == 0x20;
      return u < 0xD800 || u > 0xDBFF;
    }
    default:
      return false;
  }
}

// The last anchor in s[from, n), or 0.
inline std::size_t last_anchor(const unsigned char *s, std::size_t n,
                               std::size_t from, family f, bool ascii_last) {
  for (std::size_t c = n; c > from && c > 0; --c) {
    if (is_anchor(s, c, f, ascii_last)) return c;
  }
  return 0;
}

// A character's length as the decoders read it. `settled`: its bytes alone
// decided it, so that the text may be cut right behind it; a malformed
// character that ends because of the byte after it is not.
struct char_span {
  std::size_t length = 0;  // 0: it does not end before the end of the text
  bool settled = true;
};

// The ISO-2022-JP unit at p (an escape sequence, a pair, a byte); moves the
// state past it.
inline char_span jis_span(const unsigned char *p, std::size_t room,
                          std::uint32_t &state) {
  const unsigned b = *p;
  if (state & kJisKatakanaRun) {
    if (b == 0x0F || !(b >= 0x21 && b <= 0x5F)) state &= ~kJisKatakanaRun;
    return {1};
  }
  if (b == 0x1B) {
    if (room < 3) return {0};
    if (p[1] == 0x24) {
      if (p[2] != 0x40 && p[2] != 0x42 && p[2] != 0x4A) return {2};
      state = KMV_JIS_TWO_BYTE;
      return {3};
    }
    if (p[1] != 0x28) return {1};
    if (p[2] == 0x49) {
      state = KMV_JIS_KATAKANA;
    } else if (p[2] == 0x42 || p[2] == 0x48 || p[2] == 0x4A) {
      state = KMV_JIS_ASCII;
    } else {
      return {2};
    }
    return {3};
  }
  // A control byte is read as in the ASCII mode, even in the two-byte mode,
  // and never ends a pair.
  const bool two_byte = state == KMV_JIS_TWO_BYTE && b >= 0x21;
  if (!two_byte) {
    if (b == 0x0E && state != KMV_JIS_KATAKANA) state |= kJisKatakanaRun;
    return {1};
  }
  if (room < 2) return {0};
  if (p[1] < 0x21) return {1, false};
  return {2};
}

// How many of the `need` - 1 bytes behind p continue its character, each
// within [low, high] for the first of them and `rest` after; {0} when the
// text ends first.
inline char_span trailing_span(const unsigned char *p, std::size_t room,
                               std::size_t need, unsigned low, unsigned high,
                               unsigned rest_low, unsigned rest_high) {
  for (std::size_t i = 1; i < need; ++i) {
    if (i == room) return {0};
    const unsigned c = p[i];
    const bool fits =
        i == 1 ? c >= low && c <= high : c >= rest_low && c <= rest_high;
    if (!fits) return {i, false};
  }
  return {need};
}

inline char_span utf8_span(const unsigned char *p, std::size_t room) {
  const unsigned b = *p;
  if (b < 0xC0 || b > 0xF4) return {1};
  if (b < 0xE0) return trailing_span(p, room, 2, 0x80, 0xBF, 0x80, 0xBF);
  if (b < 0xF0) return trailing_span(p, room, 3, 0x80, 0xBF, 0x80, 0xBF);
  return trailing_span(p, room, 4, b == 0xF0 ? 0x90 : 0x80,
                       b == 0xF4 ? 0x8F : 0xBF, 0x80, 0xBF);
}

inline char_span euc_span(const unsigned char *p, std::size_t room) {
  const unsigned b = *p;
  if (b >= 0xA1 && b <= 0xFE) {
    return trailing_span(p, room, 2, 0xA1, 0xFE, 0xA1, 0xFE);
  }
  if (b == 0x8E) return trailing_span(p, room, 2, 0xA1, 0xDF, 0xA1, 0xDF);
  if (b != 0x8F) return {1};
  return trailing_span(p, room, 3, 0xA1, 0xFE, 0xA1, 0xFE);
}

inline char_span sjis_span(const unsigned char *p, std::size_t room) {
  const unsigned b = *p;
  if (b < 0x80 || (b >= 0xA1 && b <= 0xDF)) return {1};
  if (room < 2) return {0};
  const unsigned c = p[1];
  if ((c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC)) return {2};
  return {1, false};
}

// The character at p as the converters read it. ISO-2022-JP: also the
// state behind it.
inline char_span char_at(const unsigned char *p, const unsigned char *end,
                         family f, std::uint32_t &jis_state) {
  const auto room = static_cast<std::size_t>(end - p);
  switch (f) {
    case family::sjis:
      return sjis_span(p, room);
    case family::euc:
      return euc_span(p, room);
    case family::utf8:
      return utf8_span(p, room);
    case family::unibe:
    case family::unile: {
      if (room < 2) return {0};
      // A high surrogate may pair with the unit behind it.
      const std::uint32_t u = unit_at(p, f);
      return {2, u < 0xD800 || u > 0xDBFF};
    }
    case family::jis:
      return jis_span(p, room, jis_state);
    default:
      return {1};
  }
}

// The last character boundary in s[0, n), read from its start. An
// ISO-2022-JP decoder takes an ESC with fewer than two bytes behind it as
// text: a cut comes no sooner than three bytes after an ESC.
inline text_cut last_boundary(const unsigned char *s, std::size_t n, family f,
                              std::uint32_t jis_state) {
  text_cut cut{0, 0, jis_state};
  std::size_t p = 0;
  std::size_t escape_end = 0;
  std::uint32_t state = jis_state;
  while (p < n) {
    if (f == family::jis && s[p] == 0x1B && !(state & kJisKatakanaRun)) {
      escape_end = p + 3;
    }
    const char_span c = char_at(s + p, s + n, f, state);
    if (c.length == 0) break;
    if (c.settled && p + c.length >= escape_end) {
      cut = {p + c.length, p, state};
    }
    p += c.length;
  }
  return cut;
}

// Bytes that put an ISO-2022-JP decoder into a state and write nothing.
inline std::string_view jis_state_bytes(std::uint32_t state) {
  switch (state) {
    case KMV_JIS_TWO_BYTE:
      return "\x1B$B";
    case KMV_JIS_KATAKANA:
      return "\x1B(I";
    case KMV_JIS_ASCII | kJisKatakanaRun:
      return "\x0E";
    case KMV_JIS_TWO_BYTE | kJisKatakanaRun:
      return "\x1B$B\x0E";
    default:
      return {};
  }
}

// A character of the source that puts an ISO-2022-JP writer into a mode:
// U+3000 for the two-byte mode, U+FF71 for katakana.
inline std::string_view jis_mode_probe(encoding source, std::uint32_t mode) {
  const bool kana = mode == KMV_JIS_KATAKANA;
  switch (family_of(source)) {
    case family::sjis:
      return kana ? "\xB1" : "\x81\x40";
    case family::euc:
      return kana ? "\x8E\xB1" : "\xA1\xA1";
    case family::utf8:
      return kana ? "\xEF\xBD\xB1" : "\xE3\x80\x80";
    case family::unibe:
      return kana ? "\xFF\x71" : std::string_view("\x30\x00", 2);
    case family::unile:
      return kana ? "\x71\xFF" : std::string_view("\x00\x30", 2);
    default:
      return {};
  }
}

}  // namespace detail

// Converts a text handed over in pieces of any size, down to one byte:
//
//   kmv::stream_converter conv(kmv::encoding::sjis, kmv::encoding::utf8);
//   while (read(chunk)) {
//     auto out = conv.feed(chunk);
//     if (!out) fail(out.error());
//     write(*out);
//   }
//   auto rest = conv.finish();  // then write(*rest)
//
// The pieces of output, one after another, are what handle::convert makes
// of the whole text: marks only at the start, ISO-2022-JP shifts only
// where the whole conversion has them, the same unconvertible record with
// offsets into the whole text, and the same error for a text that ends
// inside a character. The view returned stays valid until the next call.
// Memory stays bounded: a piece is converted as soon as it can be cut
// behind a whole character (text without a safe cut is held up to
// kHoldLimit bytes).
class stream_converter {
 public:
  static constexpr std::size_t kHoldLimit = std::size_t{1} << 16;

 private:
  static constexpr std::uint32_t kJisAscii = KMV_JIS_ASCII;
  static constexpr std::uint32_t kJisTwoByte = KMV_JIS_TWO_BYTE;
  static constexpr std::uint32_t kJisKatakana = KMV_JIS_KATAKANA;

 public:
  stream_converter(encoding from, encoding to) : from_(from), to_(to) {
    if (!h_) failure_ = error{KMV_EALLOC, {}};
    if (detail::family_of(to) == detail::family::none) {
      failure_ = error{KMV_ECTYPE, {}};
    }
  }

  result<std::span<const std::byte>> feed(std::span<const std::byte> chunk) {
    if (failure_) return *failure_;
    out_.clear();
    const auto *bytes = reinterpret_cast<const unsigned char *>(chunk.data());
    if (how_ == how::copy && skip_ == 0 && !chunk.empty()) {
      total_ += chunk.size();
      return chunk;  // nothing to hold back or change
    }
    pending_.insert(pending_.end(), bytes, bytes + chunk.size());
    total_ += chunk.size();
    if (how_ == how::undecided && pending_.size() >= 3) decide();
    if (how_ == how::copy) {
      copy_pending();
    } else if (how_ == how::convert) {
      if (auto failed = convert_ready(false)) return fail(*failed);
    }
    return out_view();
  }
  result<std::span<const std::byte>> feed(std::string_view chunk) {
    return feed(as_bytes(chunk));
  }

  // Ends the text: converts what is held back.
  result<std::span<const std::byte>> finish() {
    if (failure_) return *failure_;
    out_.clear();
    if (how_ == how::undecided) {
      if (total_ == 0) {
        append(bom_bytes(to_));
        how_ = how::copy;
        return out_view();
      }
      decide();
      if (failure_) return *failure_;
    }
    if (how_ == how::copy) {
      copy_pending();
    } else if (how_ == how::convert) {
      if (auto failed = convert_ready(true)) return fail(*failed);
    }
    return out_view();
  }

  // Bytes fed so far.
  std::uint64_t consumed() const { return total_; }
  // The source as the first bytes showed it (with or without a mark).
  encoding source() const { return source_; }
  std::uint64_t unconvertible() const { return unconvertible_; }
  const std::optional<stream_char> &first() const { return first_; }
  const std::optional<stream_char> &last() const { return last_; }

  // The text fed but not converted yet, and how the output stands before
  // it: for a caller that converts some of the text another way (the
  // tool's --unmappable redoes the pieces that had unconvertible
  // characters). Meaningful while the converter converts (not copies).
  struct held_text {
    std::span<const std::byte> bytes;
    // Put before `bytes` (and whatever follows them), it makes the source's
    // decoder read them as in the whole text: an ISO-2022-JP shift state,
    // or a mark for the decoder to drop, so that one in the text is kept.
    std::string_view source_prefix;
    std::uint32_t writer_mode;  // the ISO-2022-JP writer's (KMV_JIS_*)
    bool started;               // output has begun: a target mark is out
  };
  held_text held() const {
    const std::string_view prefix = family_ == detail::family::jis
                                        ? detail::jis_state_bytes(jis_state_)
                                    : started_ ? decoder_mark()
                                               : std::string_view{};
    return {std::as_bytes(std::span<const unsigned char>(pending_)), prefix,
            out_mode_, started_};
  }

 private:
  enum class how { undecided, copy, convert };

  result<std::span<const std::byte>> fail(const error &e) {
    failure_ = e;
    return e;
  }

  std::span<const std::byte> out_view() const {
    return std::as_bytes(std::span<const unsigned char>(out_));
  }
  void append(std::string_view bytes) { append(bytes.data(), bytes.size()); }
  void append(const void *data, std::size_t n) {
    const auto *p = static_cast<const unsigned char *>(data);
    out_.insert(out_.end(), p, p + n);
  }

  // As handle::convert decides from the first bytes of the text.
  void decide() {
    using detail::family;
    const auto head = std::as_bytes(std::span<const unsigned char>(pending_));
    source_ = detail::actual_source(head, from_);
    const family sf = detail::family_of(source_);
    const family tf = detail::family_of(to_);
    how_ = how::copy;
    if (source_ == to_) return;
    if (sf == family::none || to_ == encoding::ascii) {
      failure_ = error{KMV_ECTYPE, {}};
      return;
    }
    const int bom = kmv_cmp_bom(code(source_), code(to_));
    if (bom > 0) {
      append(bom_bytes(to_));
      return;
    }
    if (bom < 0) {
      skip_ = bom_bytes(source_).size();
      return;
    }
    if (sf == tf && sf != family::euc) return;
    h_.use_euc_source(source_);
    h_.use_euc_target(to_);
    fn_ = detail::converter_for(sf, tf);
    family_ = sf;
    jis_target_ = tf == family::jis;
    how_ = how::convert;
  }

  void copy_pending() {
    const std::size_t skip = std::min(skip_, pending_.size());
    skip_ -= skip;
    append(pending_.data() + skip, pending_.size() - skip);
    pending_.clear();
  }

  // Where the held text may be cut now (0: not yet).
  detail::text_cut find_cut() {
    const unsigned char *s = pending_.data();
    const std::size_t n = pending_.size();
    if (family_ != detail::family::jis) {
      const std::size_t from = scanned_ > 3 ? scanned_ - 3 : 0;
      const std::size_t c =
          detail::last_anchor(s, n, from, family_, jis_target_);
      scanned_ = n;
      if (c > 0) return {c, c, 0};
      if (n < kHoldLimit) return {};
    }
    return detail::last_boundary(s, n, family_, jis_state_);
  }

  std::optional<error> convert_ready(bool final) {
    detail::text_cut cut;
    if (final) {
      cut.at = pending_.size();
    } else {
      cut = find_cut();
      if (cut.at == 0) return std::nullopt;
    }
    const std::uint32_t end_mode =
        final || !jis_target_ ? kJisAscii : writer_mode(cut);
    if (cut.at > 0 || out_mode_ != kJisAscii) {
      if (auto failed = convert_piece(cut.at)) return failed;
    }
    if (end_mode != kJisAscii && out_.size() >= 3) {
      out_.resize(out_.size() - 3);  // the return to ASCII at the end
    }
    out_mode_ = end_mode;
    jis_state_ = cut.jis_state;
    pending_.erase(pending_.begin(),
                   pending_.begin() + static_cast<std::ptrdiff_t>(cut.at));
    base_ += cut.at;
    scanned_ = 0;
    return std::nullopt;
  }

  // The ISO-2022-JP writer's mode after the character before the cut: that
  // character converted alone starts with the escape sequence of its mode.
  std::uint32_t writer_mode(const detail::text_cut &cut) {
    if (cut.last_char == cut.at) return kJisAscii;  // an ASCII anchor
    // A mark here is a character, not a mark to skip: a mark before it
    // keeps it one.
    const std::string_view mark = decoder_mark();
    const auto *start = pending_.data() + cut.last_char;
    const std::size_t len = cut.at - cut.last_char;
    std::vector<unsigned char> one(mark.begin(), mark.end());
    if ((!started_ && cut.last_char == 0) || len != mark.size() ||
        std::memcmp(start, mark.data(), len) != 0) {
      one.clear();
    }
    one.insert(one.end(), start, start + len);
    const auto alone = run(one.data(), one.size(), 0);
    if (alone.status != KMV_SUCCESS || alone.bytes.size() < 4 ||
        alone.bytes.data()[0] != 0x1B) {
      return kJisAscii;
    }
    return alone.bytes.data()[1] == 0x24 ? kJisTwoByte : kJisKatakana;
  }

  struct ran {
    std::int32_t status = KMV_SUCCESS;
    buffer bytes;
    const unsigned char *stop = nullptr;
  };

  ran run(const unsigned char *src, std::size_t n, int bom) {
    unsigned char *out = nullptr;
    std::uint64_t out_len = 0;
    ran r;
    r.status =
        fn_.plain != nullptr
            ? fn_.plain(h_.get(), &out, &out_len, &r.stop, src, n)
            : fn_.with_bom(h_.get(), &out, &out_len, &r.stop, src, n, bom);
    r.bytes = buffer(out, static_cast<std::size_t>(out_len));
    return r;
  }

  // Bytes put before a piece so that it is read and written as the whole
  // text would be at that place: the source's shift state, a mark that is a
  // character here, the writer's mode.
  std::string_view piece_prefix() const {
    if (out_mode_ != kJisAscii) {
      return detail::jis_mode_probe(source_, out_mode_);
    }
    if (family_ == detail::family::jis) {
      return detail::jis_state_bytes(jis_state_);
    }
    const std::string_view source_mark = decoder_mark();
    const bool starts_with_mark =
        started_ && !source_mark.empty() &&
        pending_.size() >= source_mark.size() &&
        std::memcmp(pending_.data(), source_mark.data(), source_mark.size()) ==
            0;
    return starts_with_mark ? source_mark : std::string_view{};
  }

  // The mark the source's decoder skips at the start of what it is given.
  std::string_view decoder_mark() const {
    switch (family_) {
      case detail::family::utf8:
        return "\xEF\xBB\xBF";
      case detail::family::unibe:
        return "\xFE\xFF";
      case detail::family::unile:
        return "\xFF\xFE";
      default:
        return {};
    }
  }

  std::optional<error> convert_piece(std::size_t n) {
    const std::string_view prefix = piece_prefix();
    const unsigned char *src = pending_.data();
    if (!prefix.empty()) {
      scratch_.assign(prefix.begin(), prefix.end());
      scratch_.insert(scratch_.end(), pending_.begin(),
                      pending_.begin() + static_cast<std::ptrdiff_t>(n));
      src = scratch_.data();
    }
    const int bom = !started_ && has_bom(to_) ? 1 : 0;
    ran r = run(src, prefix.size() + n, bom);
    const auto offset = [&](const unsigned char *p) {
      return base_ + static_cast<std::uint64_t>(p - src) - prefix.size();
    };
    if (r.status != KMV_SUCCESS) {
      std::optional<std::size_t> where;
      if (r.stop != nullptr) where = static_cast<std::size_t>(offset(r.stop));
      return error{r.status, where};
    }
    const kmv_handle &raw = *h_.get();
    unconvertible_ += raw.err_count;
    if (raw.err_first != nullptr && !first_) {
      first_ = stream_char{offset(raw.err_first), raw.err_first_code};
    }
    if (raw.err_last != nullptr) {
      last_ = stream_char{offset(raw.err_last), raw.err_last_code};
    }
    std::size_t skip = 0;
    if (out_mode_ != kJisAscii) {
      // The probe's own output: the mode's escape sequence and its bytes.
      ran probe = run(reinterpret_cast<const unsigned char *>(prefix.data()),
                      prefix.size(), 0);
      if (probe.bytes.size() > 3) {
        skip = std::min(r.bytes.size(), probe.bytes.size() - 3);
      }
    }
    append(r.bytes.data() + skip, r.bytes.size() - skip);
    started_ = true;
    return std::nullopt;
  }

  handle h_;
  encoding from_;
  encoding to_;
  encoding source_ = encoding::unknown;
  how how_ = how::undecided;
  detail::converter fn_{};
  detail::family family_ = detail::family::none;
  bool jis_target_ = false;
  bool started_ = false;         // a piece has been converted
  std::size_t skip_ = 0;         // mark bytes still to drop (copies)
  std::uint32_t jis_state_ = 0;  // source state at the start of pending_
  std::uint32_t out_mode_ = 0;   // writer mode the output stands in
  std::uint64_t total_ = 0;      // bytes fed
  std::uint64_t base_ = 0;       // offset of pending_[0] in the text
  std::size_t scanned_ = 0;      // pending_ searched for anchors up to here
  std::vector<unsigned char> pending_;
  std::vector<unsigned char> scratch_;
  std::vector<unsigned char> out_;
  std::uint64_t unconvertible_ = 0;
  std::optional<stream_char> first_;
  std::optional<stream_char> last_;
  std::optional<error> failure_;
};

}  // namespace kmv

#if defined(__cpp_lib_format)
template <>
struct std::formatter<kmv::encoding> : std::formatter<std::string_view> {
  auto format(kmv::encoding e, std::format_context &ctx) const {
    return std::formatter<std::string_view>::format(kmv::name(e), ctx);
  }
};
#endif

#endif  // KMV_HPP
