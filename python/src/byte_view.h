// A bytes-like Python object seen in place through the buffer protocol.
#ifndef KMV_PYTHON_BYTE_VIEW_H
#define KMV_PYTHON_BYTE_VIEW_H

#include <pybind11/pybind11.h>

#include <cstddef>
#include <span>

namespace kmvpy {

// Holds the object's buffer until destroyed, so the bytes stay put (a
// bytearray cannot be resized meanwhile) while the library reads them
// without the interpreter lock. Only contiguous buffers are taken; any
// other object raises TypeError or BufferError as Python itself does.
class byte_view {
 public:
  explicit byte_view(pybind11::handle object) {
    if (PyObject_GetBuffer(object.ptr(), &view_, PyBUF_SIMPLE) != 0) {
      throw pybind11::error_already_set();
    }
  }
  byte_view(const byte_view &) = delete;
  byte_view &operator=(const byte_view &) = delete;
  ~byte_view() { PyBuffer_Release(&view_); }

  std::span<const std::byte> bytes() const {
    return {static_cast<const std::byte *>(view_.buf),
            static_cast<std::size_t>(view_.len)};
  }

 private:
  Py_buffer view_{};
};

}  // namespace kmvpy

#endif  // KMV_PYTHON_BYTE_VIEW_H
