# Cross build for 32-bit Windows with Debian's mingw-w64, posix thread model (std::thread,
# std::mutex and std::shared_mutex need it), and wine to run what the build makes.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)

# The mingw sysroot, and the prefix where scripts/setup installs libraries built from Debian's
# sources for this target (libyaml, GoogleTest). Appended, so that a prefix given as
# -DCMAKE_FIND_ROOT_PATH=<prefix> (a framework installed for Windows) is searched too.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32 /usr/local/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR wine)
