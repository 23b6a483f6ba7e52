// The extension module kmv._kmv: the library's detection and conversion for
// the Python package, which adds names, results and exceptions on top.
// Every call reads its input in place and works without the interpreter
// lock, on a conversion handle of its own thread.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "byte_view.h"
#include "kmv.hpp"
#include "python_text.h"

namespace py = pybind11;

namespace {

kmv::handle &thread_handle() {
  thread_local kmv::handle handle;
  if (!handle) throw std::bad_alloc();
  return handle;
}

kmv::encoding encoding_of(int code) {
  if (code == 0) return kmv::encoding::unknown;
  for (kmv::encoding e : kmv::all_encodings) {
    if (kmv::code(e) == code) return e;
  }
  throw py::value_error("no encoding has the code " + std::to_string(code));
}

kmv::result<kmv::conversion> convert_unlocked(std::span<const std::byte> text,
                                              kmv::encoding from,
                                              kmv::encoding to) {
  kmv::handle &handle = thread_handle();
  py::gil_scoped_release unlocked;
  return handle.convert(text, from, to);
}

py::bytes bytes_of(std::span<const std::byte> data) {
  PyObject *out =
      PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(data.size()));
  if (out == nullptr) throw py::error_already_set();
  auto result = py::reinterpret_steal<py::bytes>(out);
  char *target = PyBytes_AS_STRING(out);
  {
    py::gil_scoped_release unlocked;
    if (!data.empty()) std::memcpy(target, data.data(), data.size());
  }
  return result;
}

// (offset, code) of an unconvertible character, or None.
template <typename Char, typename Where>
py::object place(const std::optional<Char> &c, Where where) {
  if (!c) return py::none();
  return py::make_tuple(where(c->offset), c->code);
}

template <typename Where>
py::tuple failure(const kmv::error &e, Where where) {
  py::object offset = py::none();
  if (e.offset) offset = py::int_(where(*e.offset));
  return py::make_tuple(e.status, py::none(), offset, 0, py::none(),
                        py::none());
}

// (status, converted text or None, offset of the failure or None,
//  unconvertible count, (offset, code) of the first and of the last)
template <typename Make, typename Where>
py::tuple outcome(const kmv::result<kmv::conversion> &r, Make make,
                  Where where) {
  if (!r) return failure(r.error(), where);
  return py::make_tuple(0, make(r->bytes.bytes()), py::none(), r->unconvertible,
                        place(r->first, where), place(r->last, where));
}

std::uint64_t same_offset(std::uint64_t offset) {
  return offset;
}

int detect(py::handle data, int expected, bool ignore_hints) {
  const kmvpy::byte_view text(data);
  kmv::handle &handle = thread_handle();
  const kmv::encoding prefer = encoding_of(expected);
  py::gil_scoped_release unlocked;
  const auto found = handle.detect(text.bytes(), prefer, ignore_hints);
  if (!found) throw std::bad_alloc();
  return found->raw;
}

// (type code, runner-up, confidence, the detector's own answer); a code is
// -1 where no encoding fits.
py::tuple guess(py::handle data, int expected) {
  const kmvpy::byte_view text(data);
  kmv::handle &handle = thread_handle();
  const kmv::encoding prefer = encoding_of(expected);
  const auto found = [&] {
    py::gil_scoped_release unlocked;
    return handle.guess(text.bytes(), prefer);
  }();
  if (!found) throw std::bad_alloc();
  auto code_or_none = [](const std::optional<kmv::encoding> &e) {
    return e ? kmv::code(*e) : -1;
  };
  return py::make_tuple(code_or_none(found->type),
                        code_or_none(found->runner_up), found->confidence,
                        found->detected.raw);
}

std::vector<int> candidates(int raw) {
  std::vector<int> codes;
  for (kmv::encoding e : kmv::detection{raw}.candidates().list()) {
    codes.push_back(kmv::code(e));
  }
  return codes;
}

py::tuple convert(py::handle data, int source, int target) {
  const kmvpy::byte_view text(data);
  const auto r =
      convert_unlocked(text.bytes(), encoding_of(source), encoding_of(target));
  return outcome(r, bytes_of, same_offset);
}

py::str str_of(std::span<const std::byte> text) {
  return kmvpy::str_from_utf16(text);
}

py::tuple decode(py::handle data, int source) {
  const kmvpy::byte_view text(data);
  const kmv::encoding from = encoding_of(source);
  // Text already in the string's own form needs no conversion first.
  const auto bytes = text.bytes();
  if (kmv::detail::family_of(from) ==
      kmv::detail::family_of(kmvpy::native_utf16)) {
    if (bytes.size() % 2 != 0) {
      return py::make_tuple(static_cast<int>(KMV_EUEXPEOD), py::none(),
                            bytes.size() - 1, 0, py::none(), py::none());
    }
    const kmv::encoding actual = kmv::detail::actual_source(bytes, from);
    const auto units = bytes.subspan(kmv::bom_bytes(actual).size());
    return py::make_tuple(0, kmvpy::str_from_utf16(units), py::none(), 0,
                          py::none(), py::none());
  }
  const auto r = convert_unlocked(bytes, from, kmvpy::native_utf16);
  return outcome(r, str_of, same_offset);
}

py::tuple encode(const py::str &text, int target) {
  const kmvpy::str_source source(text);
  const auto r =
      convert_unlocked(source.bytes, source.encoding, encoding_of(target));
  return outcome(r, bytes_of,
                 [&](std::size_t offset) { return source.char_index(offset); });
}

// Converts a text of any size fed in pieces of `piece_size` bytes, each
// without the lock, handing every piece of output to `write` as bytes; the
// pieces together are the whole text's conversion. As `outcome`, with the
// number of bytes written in place of the text.
py::tuple convert_in_pieces(py::handle data, int source, int target,
                            std::size_t piece_size, const py::function &write) {
  const kmvpy::byte_view view(data);
  const std::span<const std::byte> text = view.bytes();
  kmv::stream_converter stream(encoding_of(source), encoding_of(target));
  const std::size_t step = std::max<std::size_t>(piece_size, 1);
  std::uint64_t written = 0;
  for (std::size_t start = 0;; start += step) {
    const bool last = start >= text.size();
    const auto out = [&] {
      py::gil_scoped_release unlocked;
      if (last) return stream.finish();
      return stream.feed(
          text.subspan(start, std::min(step, text.size() - start)));
    }();
    if (!out) return failure(out.error(), same_offset);
    if (!out->empty()) {
      write(bytes_of(*out));
      written += out->size();
    }
    if (last) break;
  }
  return py::make_tuple(0, written, py::none(), stream.unconvertible(),
                        place(stream.first(), same_offset),
                        place(stream.last(), same_offset));
}

std::optional<int> parse_encoding(const std::string &name) {
  const auto found = kmv::parse_encoding(name);
  if (!found) return std::nullopt;
  return kmv::code(*found);
}

}  // namespace

PYBIND11_MODULE(_kmv, m) {
  m.doc() = "The kmv library itself; use the kmv package instead.";
  m.def("detect", detect, py::arg("data"), py::arg("expected"),
        py::arg("ignore_hints"));
  m.def("guess", guess, py::arg("data"), py::arg("expected"));
  m.def("candidates", candidates, py::arg("raw"));
  m.def("convert", convert, py::arg("data"), py::arg("source"),
        py::arg("target"));
  m.def("decode", decode, py::arg("data"), py::arg("source"));
  m.def("encode", encode, py::arg("text"), py::arg("target"));
  m.def("convert_in_pieces", convert_in_pieces, py::arg("data"),
        py::arg("source"), py::arg("target"), py::arg("piece_size"),
        py::arg("write"));
  m.def("parse_encoding", parse_encoding, py::arg("name"));
  m.def(
      "encoding_name",
      [](int code) { return std::string(kmv::name(encoding_of(code))); },
      py::arg("code"));
  m.def(
      "status_text",
      [](int status) {
        return std::string(kmv::error{status, {}}.what());
      },
      py::arg("status"));
  m.attr("EUEXPEOD") = static_cast<int>(KMV_EUEXPEOD);
  m.attr("ECTYPE") = static_cast<int>(KMV_ECTYPE);
  m.attr("MASK_MIN") = static_cast<int>(KMV_MASK_MIN);
}
