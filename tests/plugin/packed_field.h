// fieldValue: a field of a packed host record, read by value for the test macros.
#pragma once

namespace tav::test {

// GoogleTest compares through references, and a reference to a misaligned field of a packed
// record is undefined behaviour; a copy is not.
template <typename T> T fieldValue(T value) {
  return value;
}

} // namespace tav::test
