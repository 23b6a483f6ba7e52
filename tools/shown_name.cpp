#include "shown_name.h"

#include <cstdio>

namespace kmvtool {
namespace {

// The length of the well-formed UTF-8 character at `at`, 0 for none.
std::size_t utf8_length(std::string_view s, std::size_t at) {
  const auto byte = [&](std::size_t i) {
    return static_cast<unsigned char>(s[i]);
  };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return 1;
  std::size_t n = 0;
  unsigned char low = 0x80, high = 0xBF;  // the bounds of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    n = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    n = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    n = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (at + n > s.size()) return 0;
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (std::size_t i = 2; i < n; ++i) {
    if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
  }
  return n;
}

// U+0080 to U+009F: control characters a terminal acts on.
bool is_c1_control(std::string_view s, std::size_t at, std::size_t n) {
  return n == 2 && static_cast<unsigned char>(s[at]) == 0xC2 &&
         static_cast<unsigned char>(s[at + 1]) < 0xA0;
}

std::string octal_escape(unsigned char byte) {
  char text[8];
  std::snprintf(text, sizeof text, "\\%03o", byte);
  return text;
}

std::string control_escape(unsigned char byte) {
  switch (byte) {
    case '\a':
      return "\\a";
    case '\b':
      return "\\b";
    case '\t':
      return "\\t";
    case '\n':
      return "\\n";
    case '\v':
      return "\\v";
    case '\f':
      return "\\f";
    case '\r':
      return "\\r";
    default:
      return octal_escape(byte);
  }
}

}  // namespace

std::string escaped_name(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (std::size_t at = 0; at < name.size();) {
    const auto byte = static_cast<unsigned char>(name[at]);
    const std::size_t n = utf8_length(name, at);
    if (byte == '\\') {
      out += "\\\\";
    } else if (byte < 0x20 || byte == 0x7F) {
      out += control_escape(byte);
    } else if (n == 0 || is_c1_control(name, at, n)) {
      for (std::size_t i = 0; i < (n == 0 ? 1 : n); ++i) {
        out += octal_escape(static_cast<unsigned char>(name[at + i]));
      }
    } else {
      out.append(name.substr(at, n));
    }
    at += n == 0 ? 1 : n;
  }
  return out;
}

std::string json_string(std::string_view text) {
  std::string out = "\"";
  for (std::size_t at = 0; at < text.size();) {
    const char c = text[at];
    const auto byte = static_cast<unsigned char>(c);
    const std::size_t n = utf8_length(text, at);
    if (n == 0) {
      out += "\xEF\xBF\xBD";
      at += 1;
      continue;
    }
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else {
      out.append(text.substr(at, n));
    }
    at += n;
  }
  return out + "\"";
}

std::string json_path_members(std::string_view path) {
  std::string members = "\"path\":" + json_string(path);
  bool valid = true;
  for (std::size_t at = 0; at < path.size() && valid;) {
    const std::size_t n = utf8_length(path, at);
    valid = n > 0;
    at += n;
  }
  if (valid) return members;
  members += ",\"path_bytes\":\"";
  for (const char c : path) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(c));
    members += hex;
  }
  return members + "\"";
}

}  // namespace kmvtool
