# Instrumented builds, each in a build folder of its own.
#
#   -DKVB_SANITIZE=address,undefined   AddressSanitizer + UndefinedBehaviorSanitizer
#   -DKVB_SANITIZE=thread              ThreadSanitizer
#   -DKVB_FUZZ=ON                      the libFuzzer target in fuzz/ (clang only;
#                                      combine with address,undefined)
#
# Every undefined-behaviour finding stops the program (-fno-sanitize-recover),
# so a test that triggers one fails instead of printing and passing.

set(KVB_SANITIZE "" CACHE STRING
    "Sanitizers to build everything with, e.g. address,undefined or thread (empty: none)")
option(KVB_FUZZ "Build the fuzz target in fuzz/ (needs clang)" OFF)

if(KVB_SANITIZE)
  string(REPLACE "," ";" _kvb_sanitizers "${KVB_SANITIZE}")
  set(_kvb_flags -fsanitize=${KVB_SANITIZE})
  if("undefined" IN_LIST _kvb_sanitizers AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # GCC leaves the out-of-range float-to-integer conversion out of
    # "undefined"; a parameter value is a host's arbitrary float, so it matters.
    list(APPEND _kvb_flags -fsanitize=float-cast-overflow)
  endif()
  add_compile_options(${_kvb_flags} -fno-sanitize-recover=all -fno-omit-frame-pointer -g)
  add_link_options(${_kvb_flags})
  if(("address" IN_LIST _kvb_sanitizers OR "leak" IN_LIST _kvb_sanitizers) AND NOT WIN32)
    # The plug-in pulls in cairo and with it pixman, whose load-time
    # constructor allocates tables that live as long as pixman stays loaded.
    # A test that unloads the plug-in unloads pixman too, and LeakSanitizer,
    # no longer seeing the tables' owner, reports them (from an "unknown
    # module", so no suppression can name it). Every program of this build
    # keeps pixman loaded for its whole life instead, as any host that draws
    # does; real leaks are still reported.
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(KVB_PIXMAN REQUIRED IMPORTED_TARGET pixman-1)
    link_libraries(-Wl,--push-state,--no-as-needed PkgConfig::KVB_PIXMAN -Wl,--pop-state)
  endif()
  if("thread" IN_LIST _kvb_sanitizers AND ("address" IN_LIST _kvb_sanitizers
                                           OR "leak" IN_LIST _kvb_sanitizers))
    message(FATAL_ERROR "KVB_SANITIZE: thread cannot be combined with address or leak")
  endif()
endif()

if(KVB_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "KVB_FUZZ needs clang (configure with CC=clang CXX=clang++)")
  endif()
  # Coverage instrumentation for everything; the fuzz target alone links the
  # libFuzzer driver.
  add_compile_options(-fsanitize=fuzzer-no-link
                      -fsanitize-ignorelist=${CMAKE_SOURCE_DIR}/fuzz/ignorelist.txt
                      -fsanitize-coverage-ignorelist=${CMAKE_SOURCE_DIR}/fuzz/ignorelist.txt)
  # The target links the plug-in's libraries, which exist only once the
  # top-level file is done.
  cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR}
                 CALL include ${CMAKE_SOURCE_DIR}/fuzz/Fuzz.cmake)
endif()
