// Bytes written as hexadecimal text, for tests.
#ifndef KMV_TESTS_HEX_BYTES_H
#define KMV_TESTS_HEX_BYTES_H

#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

inline Bytes hex(const std::string &h) {
  Bytes out;
  for (size_t i = 0; i + 1 < h.size(); i += 2) {
    out.push_back(
        static_cast<unsigned char>(std::stoul(h.substr(i, 2), nullptr, 16)));
  }
  return out;
}

#endif
