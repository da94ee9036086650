// Arguments at the edge: byte buffers taken through the buffer protocol
// without a copy, sizes checked once, and bytes results built in place.
#pragma once

#include <cstddef>
#include <cstdint>

#include <pybind11/pybind11.h>

namespace vorlex::python {

// A contiguous view of any object with the buffer protocol (bytes,
// bytearray, memoryview, array.array, numpy arrays), held until destruction.
// Holding the view keeps the memory in place (a bytearray cannot be resized
// meanwhile), so it can be used with the GIL released. TypeError for an
// object without the buffer protocol, ValueError for a non-contiguous one or
// (writable) a read-only one.
class ByteView {
public:
    ByteView(pybind11::handle object, const char* argument, bool writable = false);
    ~ByteView();
    ByteView(const ByteView&) = delete;
    ByteView& operator=(const ByteView&) = delete;

    const uint8_t* data() const { return static_cast<const uint8_t*>(view_.buf); }
    uint8_t* writable_data() { return static_cast<uint8_t*>(view_.buf); }
    size_t size() const { return size_t(view_.len); }

private:
    Py_buffer view_{};
};

// A size argument: an integer (anything with __index__, not bool) from 0 to
// max. TypeError for other types, ValueError out of range.
size_t size_argument(pybind11::handle value, const char* argument, size_t max);

// A bytes object of `capacity` bytes to be filled (with the GIL released, as
// no other code can see it yet), then cut to its final length.
class BytesResult {
public:
    explicit BytesResult(size_t capacity);
    uint8_t* data() { return reinterpret_cast<uint8_t*>(PyBytes_AS_STRING(bytes_.ptr())); }
    size_t capacity() const { return capacity_; }
    // Make room for `capacity` bytes, keeping those written (with the GIL
    // held; data() moves).
    void resize(size_t capacity);
    // The result, cut to length (at most the capacity).
    pybind11::bytes finish(size_t length);

private:
    pybind11::object bytes_;
    size_t capacity_;
};

}  // namespace vorlex::python
