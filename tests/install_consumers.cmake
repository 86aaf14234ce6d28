# Installs the build into a temporary prefix, builds the examples against it
# with find_package and with pkg-config, and runs them against the in-process
# simulator of a copy of the installed sample installation.
# -DBUILD=<build tree> -DSOURCE=<source tree> -DWORK=<scratch folder>
# -DCC=... -DCXX=... -DVERSION=<x.y.z> -DSANITIZE_FLAGS="..." (the flags the library was built with)
# -DSANITIZE_LINK_FLAGS="..." -DSANITIZER_RUNTIME_DIR=<clang's runtime, the one absolute run path of a fuzzing tree>
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(prefix ${WORK}/prefix)

include(${CMAKE_CURRENT_LIST_DIR}/script_run.cmake)

function(expect text pattern)
  if(NOT text MATCHES "${pattern}")
    message(FATAL_ERROR "expected /${pattern}/ in:\n${text}")
  endif()
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD} --prefix ${prefix} DIR ${WORK})
foreach(f lib/libTav_acs.so.1 lib/libwynapi.so.1 include/Tav_acs.h include/wynapi.h lib/tav/RSC/tav0409.DLL
          lib/pkgconfig/Tav_acs.pc lib/cmake/Tav_acs/Tav_acsConfig.cmake share/tav/servo.set share/tav-operator/def/500.def bin/tav bin/servo-sim)
  if(NOT EXISTS ${prefix}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()

# Versioned sonames; run paths only relative to the binary ($ORIGIN), no empty
# entry (the current folder), none where no library of ours is loaded.
function(expect_dynamic file soname runpath)
  execute_process(COMMAND readelf -d -W ${prefix}/${file} OUTPUT_VARIABLE dyn RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "readelf failed on ${file}")
  endif()
  string(REGEX MATCH "Library soname: \\[([^]]*)\\]" m "${dyn}")
  if(NOT "${CMAKE_MATCH_1}" STREQUAL "${soname}")
    message(FATAL_ERROR "${file}: soname '${CMAKE_MATCH_1}', expected '${soname}'")
  endif()
  string(REGEX MATCH "Library r(un)?path: \\[([^]]*)\\]" m "${dyn}")
  set(got "${CMAKE_MATCH_2}")
  if(SANITIZER_RUNTIME_DIR)
    string(REPLACE "${SANITIZER_RUNTIME_DIR}" "" got "${got}")
    string(REGEX REPLACE "^:|:$" "" got "${got}")
  endif()
  if(NOT "${got}" STREQUAL "${runpath}")
    message(FATAL_ERROR "${file}: run path '${CMAKE_MATCH_2}', expected '${runpath}'")
  endif()
endfunction()
expect_dynamic(lib/libTav_acs.so.${VERSION} libTav_acs.so.1 "$ORIGIN")
expect_dynamic(lib/libwynapi.so.${VERSION} libwynapi.so.1 "")
expect_dynamic(lib/tav/tav "" "$ORIGIN/../lib:$ORIGIN/..")
expect_dynamic(bin/servo-sim "" "")
# The man pages come along when the build made them.
file(GLOB pages RELATIVE ${BUILD}/man/man1 ${BUILD}/man/man1/*.1)
foreach(page ${pages})
  if(NOT EXISTS ${prefix}/share/man/man1/${page})
    message(FATAL_ERROR "man page not installed: ${page}")
  endif()
endforeach()

# The README shows first_steps.c as it is.
file(READ ${SOURCE}/README.md readme)
file(READ ${SOURCE}/examples/first_steps.c first_steps)
string(FIND "${readme}" "`examples/first_steps.c`:\n\n```c\n${first_steps}```" at)
if(at LESS 0)
  message(FATAL_ERROR "README.md does not show examples/first_steps.c as it is")
endif()

# find_package(Tav_acs CONFIG)
run(${CMAKE_COMMAND} -S ${SOURCE}/examples -B ${WORK}/cmake-build -G Ninja -DCMAKE_PREFIX_PATH=${prefix}
    -DCMAKE_C_COMPILER=${CC} -DCMAKE_CXX_COMPILER=${CXX} "-DCMAKE_C_FLAGS=${SANITIZE_FLAGS}"
    "-DCMAKE_CXX_FLAGS=${SANITIZE_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${SANITIZE_FLAGS} ${SANITIZE_LINK_FLAGS}"
    DIR ${WORK})
run(${CMAKE_COMMAND} --build ${WORK}/cmake-build -j1 DIR ${WORK})

# pkg-config: the way the README builds a C program.
set(ENV{PKG_CONFIG_PATH} ${prefix}/lib/pkgconfig)
run(pkg-config --cflags --libs Tav_acs OUT pc DIR ${WORK})
separate_arguments(pc UNIX_COMMAND "${pc}")
separate_arguments(san UNIX_COMMAND "${SANITIZE_FLAGS} ${SANITIZE_LINK_FLAGS}")
file(MAKE_DIRECTORY ${WORK}/pc-build)
foreach(example first_steps messages read_ext_params)
  run(${CC} -std=c11 -Wall -Wextra -Werror ${san} -o ${WORK}/pc-build/${example} ${SOURCE}/examples/${example}.c
      ${pc} -pthread -Wl,-rpath,${prefix}/lib DIR ${WORK})
endforeach()

# Run both builds from a copy of the sample installation (its line is "sim:").
set(ENV{TAV_HOST_DIR} ${prefix}/lib/tav)
set(ENV{TAV_SYSTEM_LANGID} 0409)
foreach(build pc-build cmake-build)
  set(home ${WORK}/home-${build})
  file(COPY ${prefix}/share/tav/ DESTINATION ${home})
  set(ENV{WYN_HOME} ${home})
  set(bin ${WORK}/${build})
  run(${bin}/first_steps OUT out DIR ${home})
  expect("${out}" "open: 0 Normal end")
  run(${bin}/messages -3 2 OUT out DIR ${home})
  expect("${out}" "^built against Tav_acs [0-9]+\\.[0-9]+\\.[0-9]+\n")
  expect("${out}" "-3  The specified file does not exist.\n +2  A time-out occurred.")
  run(${bin}/read_ext_params 1 amp.k7p OUT out DIR ${home})
  expect("${out}" "read: 0 Normal end\namplifier 001, 297 parameters.*save: 0 Normal end")
  expect("${out}" " 0%.* 74%")
  if(NOT EXISTS ${home}/amp.k7p)
    message(FATAL_ERROR "read_ext_params saved no file")
  endif()
  execute_process(COMMAND ${bin}/read_ext_params 1 cancelled.k7p 30 WORKING_DIRECTORY ${home}
    OUTPUT_VARIABLE out RESULT_VARIABLE rc)
  expect("${rc}:${out}" "^1:.*read: -31 ")
  if(EXISTS ${home}/cancelled.k7p)
    message(FATAL_ERROR "a cancelled read saved a file")
  endif()
endforeach()
run(${WORK}/cmake-build/edit_table 1 table.k7l OUT out DIR ${WORK}/home-cmake-build)
expect("${out}" "write changed points +0 Normal end")
expect("${out}" "read back +0 Normal end\n  point  1: ABS stop 2500 speed 150.00 timer 0.50 M12\n  point  2: INC stop 1750 speed 10.00")

# The installed tav runs from any folder and finds its language folder.
unset(ENV{TAV_HOST_DIR})
run(${prefix}/bin/tav --version OUT out DIR ${WORK})
expect("${out}" "^tav .*library")
run(${prefix}/bin/tav --lang en message -3 OUT out DIR ${WORK})
expect("${out}" "-3  The specified file does not exist.")
message(STATUS "installed, built with find_package and pkg-config, examples ran")
