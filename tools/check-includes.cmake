# The include rules of the architecture, checked over the source tree (ctest runs it as
# `include_rules`; by hand: cmake -DSOURCE=. -P tools/check-includes.cmake). Fails, listing
# every offending line, when
# - a logic folder includes the windows (app/), or the results arithmetic the roster;
# - the .xlsx book includes anything of the .xls book, or the other way round, or the
#   file-safety layer or the shared cell unit includes either book;
# - code outside roster/ includes a header of its parts (roster/<part>/...), except the
#   component's own tests (tests/roster/), the fuzz targets and the benchmarks.
if(NOT SOURCE)
  message(FATAL_ERROR "usage: cmake -DSOURCE=<source folder> -P check-includes.cmake")
endif()
get_filename_component(SOURCE "${SOURCE}" ABSOLUTE)
# A wrong folder would find nothing and pass: the roster's parts must be there.
file(GLOB_RECURSE roster_parts ${SOURCE}/roster/*/*.cpp)
if(NOT roster_parts)
  message(FATAL_ERROR "No roster sources below ${SOURCE}")
endif()

set(violations "")
# check(<folders, or files ending in .*> <regex of a forbidden include> <why>)
function(check folders forbidden why)
  foreach(folder IN LISTS folders)
    if(folder MATCHES "\\.\\*$")
      file(GLOB files RELATIVE ${SOURCE} ${SOURCE}/${folder})
    else()
      file(GLOB_RECURSE files RELATIVE ${SOURCE} ${SOURCE}/${folder}/*.h ${SOURCE}/${folder}/*.cpp)
    endif()
    foreach(f IN LISTS files)
      file(STRINGS ${SOURCE}/${f} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]${forbidden}")
      foreach(line IN LISTS lines)
        string(STRIP "${line}" line)
        list(APPEND violations "${f}: ${line} (${why})")
      endforeach()
    endforeach()
  endforeach()
  set(violations "${violations}" PARENT_SCOPE)
endfunction()

check("core;roster;rollcall;grouping;results;timer" "app/" "logic folders do not include the windows")
check("roster/xlsx" "roster/xls/" "the .xlsx book includes nothing of the .xls book")
check("roster/xls" "roster/xlsx/" "the .xls book includes nothing of the .xlsx book")
check("roster/file;roster/cell" "roster/xlsx?/" "the file layer and the shared unit include neither book")
check("results/marks.*;results/valuebox.*" "roster/" "the results arithmetic needs no roster")

# Outside roster/: every top folder but roster, bench and fuzz, and every tests/ folder but roster.
file(GLOB tops RELATIVE ${SOURCE} ${SOURCE}/*)
file(GLOB test_dirs RELATIVE ${SOURCE} ${SOURCE}/tests/*)
set(outside "")
foreach(d IN LISTS tops test_dirs)
  if(IS_DIRECTORY ${SOURCE}/${d} AND NOT d MATCHES "^(roster|bench|fuzz|tests|tests/roster|build.*|\\..*)$")
    list(APPEND outside ${d})
  endif()
endforeach()
check("${outside}" "roster/[^\"/>]+/" "only the roster component, its tests, fuzz targets and benchmarks include its parts")

if(violations)
  list(JOIN violations "\n  " text)
  message(FATAL_ERROR "Include rules broken:\n  ${text}")
endif()
message(STATUS "Include rules kept.")
