# What the Windows build takes from the build machine, since MinGW-w64 has no
# packages of its own here: the header-only CLI11, nlohmann/json and stb (for
# stb_image_resize) from Debian's packages (seen through a folder of links, so that
# no other host header is), and GoogleTest built from Debian's source package.
set(QUORLIN_HOST_HEADERS ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${QUORLIN_HOST_HEADERS})
foreach(dir CLI nlohmann stb)
  if(NOT EXISTS /usr/include/${dir})
    message(FATAL_ERROR "/usr/include/${dir} is missing: install libcli11-dev, nlohmann-json3-dev and libstb-dev")
  endif()
  if(NOT EXISTS ${QUORLIN_HOST_HEADERS}/${dir})
    file(CREATE_LINK /usr/include/${dir} ${QUORLIN_HOST_HEADERS}/${dir} SYMBOLIC)
  endif()
endforeach()
# xxHash is one header (used inline).
if(NOT EXISTS /usr/include/xxhash.h)
  message(FATAL_ERROR "/usr/include/xxhash.h is missing: install libxxhash-dev")
endif()
if(NOT EXISTS ${QUORLIN_HOST_HEADERS}/xxhash.h)
  file(CREATE_LINK /usr/include/xxhash.h ${QUORLIN_HOST_HEADERS}/xxhash.h SYMBOLIC)
endif()
add_library(xxhash::xxhash INTERFACE IMPORTED)
target_include_directories(xxhash::xxhash SYSTEM INTERFACE ${QUORLIN_HOST_HEADERS})
add_library(CLI11::CLI11 INTERFACE IMPORTED)
target_include_directories(CLI11::CLI11 SYSTEM INTERFACE ${QUORLIN_HOST_HEADERS})
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE ${QUORLIN_HOST_HEADERS})
add_library(quorlin_stb INTERFACE IMPORTED)
target_include_directories(quorlin_stb SYSTEM INTERFACE ${QUORLIN_HOST_HEADERS})

if(QUORLIN_BUILD_TESTS)
  if(NOT EXISTS /usr/src/googletest/CMakeLists.txt)
    message(FATAL_ERROR "/usr/src/googletest is missing: install libgtest-dev")
  endif()
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)  # GTest::gtest, ...
endif()
