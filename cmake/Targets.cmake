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

if(WIN32 OR KVB_FUZZ OR KVB_SANITIZE)
  # The plain Linux build checks the links; a MinGW or sanitizer build of the
  # same libraries would only add time, and a fuzzing build leaves its
  # coverage hooks undefined until the final link.
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

# kvb_check_target_graph(): the configure step fails when the links between
# the tree's targets form a cycle, and writes them to kvb-targets.txt in the
# build folder, one "target -> what it links" per line, the libraries first.
function(_kvb_collect_targets dir out)
  get_property(here DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    _kvb_collect_targets(${sub} below)
    list(APPEND here ${below})
  endforeach()
  set(${out} ${here} PARENT_SCOPE)
endfunction()

function(kvb_check_target_graph)
  _kvb_collect_targets(${CMAKE_SOURCE_DIR} all)
  set(nodes "")
  set(libraries "")
  set(programs "")
  foreach(t IN LISTS all)
    get_target_property(type ${t} TYPE)
    if(t MATCHES "_links$" OR type STREQUAL "UTILITY")
      continue()
    endif()
    if(type STREQUAL "INTERFACE_LIBRARY")
      get_target_property(links ${t} INTERFACE_LINK_LIBRARIES)
    else()
      get_target_property(links ${t} LINK_LIBRARIES)
    endif()
    set(deps_${t} "")
    foreach(l IN LISTS links)
      if(TARGET ${l} AND NOT l STREQUAL t AND l MATCHES "^(kvb|KVB)")
        list(APPEND deps_${t} ${l})
      endif()
    endforeach()
    list(APPEND nodes ${t})
    string(JOIN " " line "${t} ->" ${deps_${t}})
    if(type MATCHES "LIBRARY$")
      list(APPEND libraries "${line}")
    else()
      list(APPEND programs "${line}")
    endif()
  endforeach()
  # Take away, round after round, every target that links nothing left;
  # what cannot be taken away lies on a cycle.
  set(remaining ${nodes})
  while(remaining)
    set(taken "")
    foreach(n IN LISTS remaining)
      set(blocked FALSE)
      foreach(d IN LISTS deps_${n})
        if(d IN_LIST remaining)
          set(blocked TRUE)
          break()
        endif()
      endforeach()
      if(NOT blocked)
        list(APPEND taken ${n})
      endif()
    endforeach()
    if(NOT taken)
      list(JOIN remaining ", " stuck)
      message(FATAL_ERROR "The links between these targets form a cycle (none of them can come first): ${stuck}")
    endif()
    list(REMOVE_ITEM remaining ${taken})
  endwhile()
  list(JOIN libraries "\n" text)
  list(JOIN programs "\n" more)
  string(APPEND text "\n${more}")
  file(WRITE ${CMAKE_BINARY_DIR}/kvb-targets.txt "${text}\n")
endfunction()
