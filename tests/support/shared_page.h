// Memory that a death test's child shares with the test, so that what the child wrote before it
// died can be checked.
#pragma once

#include <cstddef>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#endif

#include <gtest/gtest.h>

namespace tav::test {

// On POSIX the child is forked ("fast" style) and inherits an anonymous shared mapping. Windows
// starts the child as a new process that runs the test again up to the death statement, so there
// the page is a mapping named after the test, which the child opens again by that name.
class SharedPage {
public:
  SharedPage(const std::string& name, size_t bytes) : bytes_(bytes) {
#ifdef _WIN32
    mapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                  static_cast<DWORD>(bytes), ("Local\\" + name).c_str());
    data_ = mapping_ != nullptr ? MapViewOfFile(mapping_, FILE_MAP_WRITE, 0, 0, bytes) : nullptr;
#else
    (void)name;
    GTEST_FLAG_SET(death_test_style, "fast");
    data_ = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    data_ = data_ == MAP_FAILED ? nullptr : data_;
#endif
  }
  ~SharedPage() {
#ifdef _WIN32
    if (data_ != nullptr)
      UnmapViewOfFile(data_);
    if (mapping_ != nullptr)
      CloseHandle(mapping_);
#else
    if (data_ != nullptr)
      munmap(data_, bytes_);
#endif
  }
  SharedPage(const SharedPage&) = delete;
  SharedPage& operator=(const SharedPage&) = delete;

  void* data() const {
    return data_;
  }

private:
  size_t bytes_;
  void* data_ = nullptr;
#ifdef _WIN32
  HANDLE mapping_ = nullptr;
#endif
};

} // namespace tav::test
