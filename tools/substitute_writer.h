// Writing UTF-16 text into the target with each character the target lacks
// written as --unmappable says: nothing, an HTML reference or a \u escape.
// Runs of text arrive one after another and come out as one text would:
// the target's mark only at its start, ISO-2022-JP going on in the mode
// the run before left it in.
#ifndef KMV_TOOLS_SUBSTITUTE_WRITER_H
#define KMV_TOOLS_SUBSTITUTE_WRITER_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "kmv.hpp"
#include "options.h"

namespace kmvtool {

// What a character the target lacks becomes: ASCII text ("" for skip).
// `code` is a whole code point (a surrogate pair joined).
std::string substitute_text(char32_t code, Unmappable policy);

class SubstituteWriter {
 public:
  SubstituteWriter(kmv::encoding to, Unmappable policy)
      : to_(to), policy_(policy) {}

  // Where the output stands: begun or not (the target's mark is out), and
  // the ISO-2022-JP mode (KMV_JIS_*).
  void resume(bool started, std::uint32_t mode) {
    started_ = started;
    mode_ = mode;
  }

  // Appends `units` (UTF-16BE, whole characters) in the target to `out`.
  std::optional<kmv::error> write(std::span<const std::byte> units,
                                  std::vector<std::byte> &out);
  // Puts ISO-2022-JP output into `mode`.
  void enter(std::uint32_t mode, std::vector<std::byte> &out);
  // The target's mark, unless output has begun.
  void begin(std::vector<std::byte> &out);

  // Characters the target lacks; a character beyond U+FFFF counts once.
  std::uint64_t unwritable() const { return unwritable_; }

 private:
  struct Converted {
    kmv::conversion c;
    std::size_t skip = 0;  // leading output that is not this text's
  };
  kmv::result<Converted> convert(std::span<const std::byte> units);
  void put(std::span<const std::byte> units, const Converted &done,
           std::vector<std::byte> &out);
  std::optional<kmv::error> put_substitute(std::span<const std::byte> units,
                                           std::size_t at, std::size_t &len,
                                           std::vector<std::byte> &out);
  std::optional<kmv::error> write_window(std::span<const std::byte> units,
                                         std::vector<std::byte> &out);
  std::uint32_t mode_after(std::span<const std::byte> units);
  bool jis() const { return to_ == kmv::encoding::jis; }

  kmv::handle h_;
  kmv::encoding to_;
  Unmappable policy_;
  bool started_ = false;
  std::uint32_t mode_ = KMV_JIS_ASCII;
  std::uint64_t unwritable_ = 0;
  std::vector<std::byte> scratch_;
};

}  // namespace kmvtool

#endif
