# A short fuzzing run for the test suite: builds the libFuzzer targets with clang in their own
# build folder and runs each for a few seconds on the test workbooks.
# cmake -DSOURCE=<tree> -DBUILD=<folder> -DCXX=<clang++> -DSECONDS=<n> -P smoke.cmake
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${BUILD} -DCMAKE_CXX_COMPILER=${CXX}
                        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELQUOR_FUZZ=ON -DVELQUOR_TESTS=OFF -DVELQUOR_BENCH=OFF
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(rc)
  message(FATAL_ERROR "configuring the fuzz build failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD} -j2 --target fuzz_read fuzz_rmw fuzz_xlsx_read fuzz_xlsx_rmw
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(rc)
  message(FATAL_ERROR "building the fuzz targets failed")
endif()
file(REMOVE_RECURSE ${BUILD}/smoke-seeds ${BUILD}/smoke-corpus)
file(GLOB seeds ${SOURCE}/tests/data/*.xls ${SOURCE}/tests/data/fuzz-regressions/* ${SOURCE}/roster/sample/*.xls)
file(COPY ${seeds} DESTINATION ${BUILD}/smoke-seeds)
# The .xlsx fuzzers take whole packages and their XML parts (fuzz/xlsx_package.h).
file(GLOB xlsx ${SOURCE}/tests/data/*.xlsx)
execute_process(COMMAND python3 ${SOURCE}/fuzz/xlsx_seeds.py ${BUILD}/smoke-seeds/xlsx ${xlsx} RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "writing the .xlsx seeds failed")
endif()
file(GLOB xlsx_regressions ${SOURCE}/tests/data/fuzz-regressions/xlsx-*)
if(xlsx_regressions)
  file(COPY ${xlsx_regressions} DESTINATION ${BUILD}/smoke-seeds/xlsx)
endif()
foreach(target fuzz_read fuzz_rmw fuzz_xlsx_read fuzz_xlsx_rmw)
  set(seed_dir ${BUILD}/smoke-seeds)
  if(target MATCHES xlsx)
    set(seed_dir ${BUILD}/smoke-seeds/xlsx)
  endif()
  file(MAKE_DIRECTORY ${BUILD}/smoke-corpus/${target})
  execute_process(COMMAND ${BUILD}/bin/${target} -max_total_time=${SECONDS} -max_len=200000 -rss_limit_mb=1536
                          -artifact_prefix=${BUILD}/ ${BUILD}/smoke-corpus/${target} ${seed_dir}
                  RESULT_VARIABLE rc ERROR_VARIABLE log)
  string(REGEX MATCH "Done [0-9]+ runs[^\n]*" done "${log}")
  message(STATUS "${target}: ${done}")
  if(rc)
    message(FATAL_ERROR "${target} found a failure:\n${log}")
  endif()
endforeach()
