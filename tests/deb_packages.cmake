# Builds the Debian packages of the build tree, unpacks them into a scratch
# root as dpkg would place them, and runs the packaged tav and an example
# built against the packaged headers and libraries.
# -DBUILD=<build tree> -DSOURCE=<source tree> -DWORK=<scratch folder> -DCC=...
# -DSANITIZE_FLAGS="..." -DSANITIZE_LINK_FLAGS="..." (the flags the library was built with)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/root)

include(${CMAKE_CURRENT_LIST_DIR}/script_run.cmake)

run(cpack --config ${BUILD}/CPackConfig.cmake -G DEB -B ${WORK}/packages DIR ${WORK})
set(expected libtav-acs1 libtav-acs-dev tav-acs-tools)
file(GLOB debs ${WORK}/packages/*.deb)
list(LENGTH debs count)
if(NOT count EQUAL 3)
  message(FATAL_ERROR "expected 3 packages, got: ${debs}")
endif()
foreach(deb ${debs})
  run(dpkg-deb -f ${deb} Package Depends OUT fields DIR ${WORK})
  string(REGEX MATCH "Package: ([^\n]+)" m "${fields}")
  list(REMOVE_ITEM expected ${CMAKE_MATCH_1})
  # The tools and the development files need the library package of the same version.
  if(NOT CMAKE_MATCH_1 STREQUAL "libtav-acs1" AND NOT fields MATCHES "libtav-acs1 \\(= ")
    message(FATAL_ERROR "${deb} does not depend on libtav-acs1:\n${fields}")
  endif()
  run(dpkg-deb -x ${deb} ${WORK}/root DIR ${WORK})
endforeach()
if(expected)
  message(FATAL_ERROR "packages missing: ${expected}")
endif()

set(usr ${WORK}/root/usr)
run(${usr}/bin/tav --version OUT out DIR ${WORK})
if(NOT out MATCHES "^tav .*library")
  message(FATAL_ERROR "packaged tav --version: ${out}")
endif()
separate_arguments(san UNIX_COMMAND "${SANITIZE_FLAGS} ${SANITIZE_LINK_FLAGS}")
run(${CC} -std=c11 ${san} -o ${WORK}/messages ${SOURCE}/examples/messages.c -I${usr}/include
    -L${usr}/lib -lTav_acs -lwynapi -Wl,-rpath,${usr}/lib DIR ${WORK})
set(ENV{TAV_HOST_DIR} ${usr}/lib/tav)
set(ENV{TAV_SYSTEM_LANGID} 0409)
run(${WORK}/messages -3 OUT out DIR ${WORK})
if(NOT out MATCHES "-3  The specified file does not exist.")
  message(FATAL_ERROR "packaged example: ${out}")
endif()
message(STATUS "packages built, unpacked, tav and an example ran from them")
