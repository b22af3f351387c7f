# Cross build for the recorder's 32-bit ARM board (Debian's armhf):
#   cmake -S . -B build-arm -DCMAKE_TOOLCHAIN_FILE=cmake/armhf.cmake
# scripts/test-arm installs the compilers and the armhf libraries this needs.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(NVRWEB_ARM_TRIPLE arm-linux-gnueabihf)
set(CMAKE_C_COMPILER ${NVRWEB_ARM_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${NVRWEB_ARM_TRIPLE}-g++)

# Headers and libraries of the armhf packages live in the multiarch
# directories of the host's own root.
set(CMAKE_LIBRARY_ARCHITECTURE ${NVRWEB_ARM_TRIPLE})
set(CMAKE_FIND_ROOT_PATH /usr/${NVRWEB_ARM_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${NVRWEB_ARM_TRIPLE}/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# The board's build is the static device build (NVRWEB_STATIC): the CGI
# carries the C library, the C++ runtime and SQLite. -DNVRWEB_STATIC=OFF on
# the command line gives the dynamic one.
set(NVRWEB_STATIC ON CACHE BOOL "Link the CGI statically, SQLite compiled in")

# The cross toolchain's shared C++ runtime does not match the armhf C library
# it would run with, so every program carries its C++ runtime.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libstdc++ -static-libgcc")

# Built programs run here under user-mode emulation: ctest runs the test
# programs through it, and the tests put it in front of every program they
# start.
if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(NVRWEB_QEMU_ARM qemu-arm)
  if(NVRWEB_QEMU_ARM)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${NVRWEB_QEMU_ARM} -L /)
  endif()
endif()
