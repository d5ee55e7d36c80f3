# Lists the suites of a GoogleTest program (run after it is built) and writes the ctest file that
# runs each suite in one process. Under the sanitizers a test process costs about half a second
# to start and finish; one process per test spent a fifth of CI's time on that. Value-
# parameterised suites (one test per movie, say) are cut into processes of at most 16 tests with
# GoogleTest's own sharding, so that no single process holds up the end of a parallel run; those
# instantiated as `Shards/...` are long corpus checks already cut by hand and keep one each.
#
# Variables: EXE (the program), NAME (its target), RUNNER (tests/run-suite.sh), OUT (file written).
cmake_minimum_required(VERSION 3.20)
execute_process(COMMAND "${EXE}" --gtest_list_tests OUTPUT_VARIABLE listing RESULT_VARIABLE rc
                TIMEOUT 60)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${EXE} --gtest_list_tests failed (${rc}):\n${listing}")
endif()

string(REPLACE ";" "\\;" listing "${listing}")
string(REPLACE "\n" ";" lines "${listing}")
set(suites "")
set(suite "")
foreach(line IN LISTS lines)
    if(line MATCHES "^([^ #][^ ]*)\\.( *#.*)?$")
        set(suite "${CMAKE_MATCH_1}")
        string(MAKE_C_IDENTIFIER "${suite}" key)
        set(tests_${key} "")
        list(APPEND suites "${suite}")
    elseif(suite AND line MATCHES "^  ([^ ]+)")
        set(test "${CMAKE_MATCH_1}")
        if(NOT test MATCHES "^DISABLED_")
            list(APPEND tests_${key} "${test}")
        endif()
    endif()
endforeach()

set(script "")
macro(add_entry label filter shards index)
    set(env "")
    if(${shards} GREATER 1)
        set(env "ENVIRONMENT \"GTEST_TOTAL_SHARDS=${shards};GTEST_SHARD_INDEX=${index}\"")
    endif()
    string(APPEND script
           "add_test([==[${NAME}:${label}]==] [==[${RUNNER}]==] [==[${EXE}]==] [==[--gtest_filter=${filter}]==])\n"
           "set_tests_properties([==[${NAME}:${label}]==] PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE 77 ${env})\n")
endmacro()
foreach(suite IN LISTS suites)
    string(MAKE_C_IDENTIFIER "${suite}" key)
    list(LENGTH tests_${key} count)
    if(count EQUAL 0 OR suite MATCHES "^DISABLED_")
        continue()
    endif()
    if(suite MATCHES "^Shards/")
        foreach(test IN LISTS tests_${key})
            add_entry("${suite}.${test}" "${suite}.${test}" 1 0)
        endforeach()
    elseif(suite MATCHES "/")
        math(EXPR shards "(${count} + 15) / 16")
        math(EXPR last "${shards} - 1")
        foreach(index RANGE ${last})
            if(shards GREATER 1)
                add_entry("${suite}[${index}]" "${suite}.*" ${shards} ${index})
            else()
                add_entry("${suite}" "${suite}.*" 1 0)
            endif()
        endforeach()
    else()
        add_entry("${suite}" "${suite}.*" 1 0)
    endif()
endforeach()
file(WRITE "${OUT}" "${script}")
