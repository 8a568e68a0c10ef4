# Helpers for the targets of the tree.
#
# kvb_check_links(TARGET): every symbol the static library TARGET uses must
# come from the libraries it links (or from the system's). The build links a
# shared object of all of TARGET's objects with nothing left undefined, so a
# call into a library TARGET does not link (an include along the wrong
# direction of the data flow, say) fails the build even where the program
# that links everything would still find the symbol.
#
# kvb_skip(WHAT WHY): notes a part left out of this build (tests without
# GoogleTest, ...). The configure step ends with the list; with
# KVB_REQUIRE_ALL on (as in CI) a skip is an error instead.

option(KVB_CHECK_LINKS "Check that every library links against its own dependencies only" ON)
option(KVB_REQUIRE_ALL "Fail instead of skipping tests or benchmarks whose packages are missing" OFF)

if(WIN32 OR KVB_FUZZ)
  # A MinGW DLL of a library would add nothing the Linux build does not
  # check; a fuzzing build leaves its coverage hooks undefined until the
  # final link.
  set(KVB_CHECK_LINKS OFF)
endif()

set(_kvb_link_check_source ${CMAKE_BINARY_DIR}/linkcheck/empty.cpp)
if(KVB_CHECK_LINKS AND NOT EXISTS ${_kvb_link_check_source})
  file(WRITE ${_kvb_link_check_source} "// The objects of the library under check make up this module.\n")
endif()

function(kvb_check_links target)
  if(NOT KVB_CHECK_LINKS)
    return()
  endif()
  add_library(${target}_links SHARED ${_kvb_link_check_source})
  target_link_libraries(${target}_links PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${target}>")
  target_link_options(${target}_links PRIVATE -Wl,--no-undefined)
  set_target_properties(${target}_links PROPERTIES
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/linkcheck)
endfunction()

set_property(GLOBAL PROPERTY KVB_SKIPPED "")

function(kvb_skip what why)
  if(KVB_REQUIRE_ALL)
    message(FATAL_ERROR "${what}: ${why} (KVB_REQUIRE_ALL is on)")
  endif()
  set_property(GLOBAL APPEND PROPERTY KVB_SKIPPED "${what}: ${why}")
endfunction()

function(kvb_report_skipped)
  get_property(skipped GLOBAL PROPERTY KVB_SKIPPED)
  if(skipped)
    message(STATUS "KVB: left out of this build:")
    foreach(line IN LISTS skipped)
      message(STATUS "  - ${line}")
    endforeach()
  else()
    message(STATUS "KVB: every part is built")
  endif()
endfunction()
