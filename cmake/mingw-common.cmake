# The -posix compilers: the -win32 threading model has no std::mutex, which GoogleTest needs.
set(CMAKE_C_COMPILER ${corvid_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${corvid_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${corvid_triplet}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${corvid_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Static runtime and zlib: the exe must need nothing but Windows' own DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(ZLIB_USE_STATIC_LIBS ON)
