// Rewriting the line ends of converted text (CR LF, lone CR, lone LF) into
// one form, in the target encoding's units, across the pieces of a stream.
#ifndef KMV_TOOLS_LINE_ENDS_H
#define KMV_TOOLS_LINE_ENDS_H

#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "kmv.hpp"
#include "options.h"

namespace kmvtool {

class LineEnds {
 public:
  LineEnds(Eol form, kmv::encoding target);

  bool active() const { return form_ != Eol::keep; }
  // The piece with its line ends rewritten (a CR at its end waits for what
  // follows); the view stays valid until the next call.
  std::span<const std::byte> rewrite(std::span<const std::byte> piece);
  // A CR still waiting.
  std::span<const std::byte> finish();

 private:
  void put_end();
  void put_unit(const std::byte *unit);

  Eol form_;
  std::size_t width_ = 1;  // bytes per unit: 2 in UTF-16
  std::size_t low_ = 0;    // where the unit's value byte stands
  std::string end_;        // the chosen line end, encoded
  bool cr_waiting_ = false;
  std::vector<std::byte> carry_;  // a unit cut between pieces
  std::vector<std::byte> out_;
};

}  // namespace kmvtool

#endif
