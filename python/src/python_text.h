// Python str objects to and from the library's Unicode encodings, without
// a detour through a codec where the string's own storage already is one.
#ifndef KMV_PYTHON_TEXT_H
#define KMV_PYTHON_TEXT_H

#include <pybind11/pybind11.h>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "kmv.hpp"

namespace kmvpy {

// UTF-16 in the byte order of this machine, the order of a str's storage.
constexpr kmv::encoding native_utf16 = std::endian::native == std::endian::big
                                           ? kmv::encoding::utf16be
                                           : kmv::encoding::utf16le;

// A str as text of one of the library's encodings, in place where the
// string's storage already is one: ASCII strings as UTF-8, two-byte strings
// as UTF-16. Other strings take their cached UTF-8 form, or UTF-16 when they
// reach beyond the Basic Multilingual Plane, since the library reads
// 16-bit units. Lone surrogates raise UnicodeEncodeError, as in Python's
// codecs. The str must outlive the view.
struct str_source {
  std::span<const std::byte> bytes;
  kmv::encoding encoding = kmv::encoding::utf8;
  pybind11::object holder;  // owns the UTF-16 copy, where one was made

  explicit str_source(pybind11::handle text) {
    PyObject *s = text.ptr();
    const auto length = static_cast<std::size_t>(PyUnicode_GET_LENGTH(s));
    const int kind = PyUnicode_KIND(s);
    if (PyUnicode_IS_ASCII(s)) {
      bytes = {static_cast<const std::byte *>(PyUnicode_DATA(s)), length};
    } else if (kind == PyUnicode_2BYTE_KIND && !has_surrogate(s, length)) {
      bytes = {static_cast<const std::byte *>(PyUnicode_DATA(s)), length * 2};
      encoding = native_utf16;
    } else if (kind == PyUnicode_4BYTE_KIND) {
      PyObject *units = PyUnicode_AsEncodedString(
          s, native_utf16 == kmv::encoding::utf16le ? "utf-16-le" : "utf-16-be",
          "strict");
      if (units == nullptr) throw pybind11::error_already_set();
      holder = pybind11::reinterpret_steal<pybind11::object>(units);
      bytes = {reinterpret_cast<const std::byte *>(PyBytes_AS_STRING(units)),
               static_cast<std::size_t>(PyBytes_GET_SIZE(units))};
      encoding = native_utf16;
    } else {
      Py_ssize_t size = 0;
      const char *utf8 = PyUnicode_AsUTF8AndSize(s, &size);
      if (utf8 == nullptr) throw pybind11::error_already_set();
      bytes = {reinterpret_cast<const std::byte *>(utf8),
               static_cast<std::size_t>(size)};
    }
  }

  // The index in the str of the character at a byte offset of the view.
  std::size_t char_index(std::size_t offset) const {
    std::size_t index = 0;
    if (encoding == kmv::encoding::utf8) {
      for (std::size_t i = 0; i < offset && i < bytes.size(); ++i) {
        if ((static_cast<unsigned char>(bytes[i]) & 0xC0) != 0x80) ++index;
      }
      return index;
    }
    const auto *units = reinterpret_cast<const std::uint16_t *>(bytes.data());
    for (std::size_t i = 0; i < offset / 2 && i < bytes.size() / 2; ++i) {
      if (units[i] < 0xDC00 || units[i] > 0xDFFF) ++index;
    }
    return index;
  }

 private:
  static bool has_surrogate(PyObject *s, std::size_t length) {
    const auto *units = static_cast<const Py_UCS2 *>(PyUnicode_DATA(s));
    for (std::size_t i = 0; i < length; ++i) {
      if (units[i] >= 0xD800 && units[i] < 0xE000) return true;
    }
    return false;
  }
};

// The widest character of UTF-16 text, and whether any surrogate stands in
// it; no interpreter lock needed.
struct utf16_scan {
  std::uint32_t widest = 0;
  bool surrogates = false;

  explicit utf16_scan(std::span<const std::uint16_t> units) {
    std::uint32_t all = 0;
    for (std::uint16_t unit : units) {
      all |= unit;
      if (unit >= 0xD800 && unit < 0xE000) surrogates = true;
    }
    widest = all < 0x80 ? 0x7F : all < 0x100 ? 0xFF : 0xFFFF;
  }
};

// Native UTF-16 text as a str. Called with the lock held; the new string is
// filled without it, since no other thread can see it yet.
inline pybind11::str str_from_utf16(std::span<const std::byte> text) {
  std::span<const std::uint16_t> units(
      reinterpret_cast<const std::uint16_t *>(text.data()), text.size() / 2);
  const utf16_scan scan = [units] {
    pybind11::gil_scoped_release unlocked;
    return utf16_scan(units);
  }();
  if (scan.surrogates) {
    int order = std::endian::native == std::endian::big ? 1 : -1;
    PyObject *s = PyUnicode_DecodeUTF16(
        reinterpret_cast<const char *>(text.data()),
        static_cast<Py_ssize_t>(units.size() * 2), "surrogatepass", &order);
    if (s == nullptr) throw pybind11::error_already_set();
    return pybind11::reinterpret_steal<pybind11::str>(s);
  }
  PyObject *s = PyUnicode_New(static_cast<Py_ssize_t>(units.size()),
                              static_cast<Py_UCS4>(scan.widest));
  if (s == nullptr) throw pybind11::error_already_set();
  auto result = pybind11::reinterpret_steal<pybind11::str>(s);
  void *data = PyUnicode_DATA(s);
  {
    pybind11::gil_scoped_release unlocked;
    if (scan.widest == 0xFFFF) {
      std::memcpy(data, units.data(), units.size() * 2);
    } else {
      auto *narrow = static_cast<Py_UCS1 *>(data);
      for (std::size_t i = 0; i < units.size(); ++i) {
        narrow[i] = static_cast<Py_UCS1>(units[i]);
      }
    }
  }
  return result;
}

}  // namespace kmvpy

#endif  // KMV_PYTHON_TEXT_H
