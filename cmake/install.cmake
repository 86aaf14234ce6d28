# Installation: libraries with versioned sonames in lib/, the public headers,
# the pkg-config file and the CMake package; the installed tav lives with its
# language folder in lib/tav/ (its host directory) behind a symlink in bin/.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(TAV_INSTALL_HOSTDIR ${CMAKE_INSTALL_LIBDIR}/tav)

# Run paths: only relative to the binary ($ORIGIN), the same in the build tree
# and installed, and none where no library of ours is loaded (libwynapi.so,
# servo-sim). Binaries are linked with their final run path: CMake's install-
# time rewrite would pad the build tree's run path with empty entries, which
# the loader reads as the current folder.
# libTav_acs.so -> .so.1 -> .so.1.x.y; it finds libwynapi.so beside itself.
foreach(lib Tav_acs wynapi)
  set_target_properties(${lib} PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
endforeach()
set_target_properties(Tav_acs PROPERTIES INSTALL_RPATH "$ORIGIN" BUILD_WITH_INSTALL_RPATH ON)
target_include_directories(Tav_acs INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_include_directories(wynapi INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)

install(TARGETS Tav_acs wynapi EXPORT Tav_acsTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev)
install(FILES include/Tav_acs.h wynapi/wynapi.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)

# tav: the real program in lib/tav/ beside RSC/, so that the library's own
# rule (folder of the running executable) finds the language folder; bin/tav
# is a symlink, which /proc/self/exe resolves. Its libraries are in ../lib in
# the build tree and in .. installed.
set_target_properties(tav PROPERTIES INSTALL_RPATH "$ORIGIN/../lib:$ORIGIN/.." BUILD_WITH_INSTALL_RPATH ON)
install(TARGETS tav RUNTIME DESTINATION ${TAV_INSTALL_HOSTDIR} COMPONENT tools)
install(DIRECTORY ${TAV_RSC_DIR}/ DESTINATION ${TAV_INSTALL_HOSTDIR}/RSC COMPONENT runtime)
# tav serve's front end beside the installed program, as RSC is.
install(DIRECTORY ${CMAKE_BINARY_DIR}/share/tav-web/ DESTINATION ${TAV_INSTALL_HOSTDIR}/web COMPONENT tools PATTERN .stamp EXCLUDE)
install(CODE "
  file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  file(CREATE_LINK ../${TAV_INSTALL_HOSTDIR}/tav
       \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/tav\" SYMBOLIC)"
  COMPONENT tools)
if(TARGET servo-sim)
  install(TARGETS servo-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
endif()

# The sample installations (code page 932, as built) and the documentation.
install(DIRECTORY ${TAV_SHARE_DIR}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/tav COMPONENT runtime)
install(DIRECTORY ${CMAKE_BINARY_DIR}/share/tav-operator/ DESTINATION ${CMAKE_INSTALL_DATADIR}/tav-operator
  COMPONENT runtime)
# Man pages of tav and servo-sim, generated at build time when the generator is built.
install(DIRECTORY ${CMAKE_BINARY_DIR}/man/man1/ DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools
  OPTIONAL)
install(FILES ${CMAKE_BINARY_DIR}/completion/tav.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
  RENAME tav COMPONENT tools OPTIONAL)
install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT dev FILES_MATCHING PATTERN "*.md")
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT dev)

# Consumers: pkg-config (a relocatable prefix is not needed: the file names
# the prefix it was installed to) and a CMake package with imported targets.
configure_file(cmake/Tav_acs.pc.in ${CMAKE_BINARY_DIR}/Tav_acs.pc @ONLY)
install(CODE "
  file(READ \"${CMAKE_BINARY_DIR}/Tav_acs.pc\" pc)
  string(REPLACE \"${CMAKE_INSTALL_PREFIX}\" \"\${CMAKE_INSTALL_PREFIX}\" pc \"\${pc}\")
  file(WRITE \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig/Tav_acs.pc\" \"\${pc}\")"
  COMPONENT dev)
set(TAV_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Tav_acs)
install(EXPORT Tav_acsTargets NAMESPACE Tav_acs:: DESTINATION ${TAV_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(cmake/Tav_acsConfig.cmake.in ${CMAKE_BINARY_DIR}/Tav_acsConfig.cmake
  INSTALL_DESTINATION ${TAV_CMAKE_DIR} PATH_VARS TAV_INSTALL_HOSTDIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/Tav_acsConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/Tav_acsConfig.cmake ${CMAKE_BINARY_DIR}/Tav_acsConfigVersion.cmake
  DESTINATION ${TAV_CMAKE_DIR} COMPONENT dev)

# API reference from the public headers: `cmake --build build --target doc`,
# only where doxygen is installed (it is not a build dependency).
find_package(Doxygen QUIET)
if(DOXYGEN_FOUND)
  set(DOXYGEN_PROJECT_NAME Tav_acs)
  set(DOXYGEN_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/doc)
  set(DOXYGEN_EXTRACT_ALL YES)
  set(DOXYGEN_OPTIMIZE_OUTPUT_FOR_C YES)
  set(DOXYGEN_GENERATE_LATEX NO)
  set(DOXYGEN_USE_MDFILE_AS_MAINPAGE ${CMAKE_SOURCE_DIR}/README.md)
  doxygen_add_docs(doc ${CMAKE_SOURCE_DIR}/include/Tav_acs.h ${CMAKE_SOURCE_DIR}/wynapi/wynapi.h
    ${CMAKE_SOURCE_DIR}/README.md COMMENT "API reference in build/doc/html")
endif()

# Debian packages (`cpack -G DEB` in the build folder): the libraries with
# their language folder and sample installations, the development files, the
# tools. Library dependencies come from dpkg-shlibdeps.
set(CPACK_PACKAGE_NAME tav-acs)
set(CPACK_PACKAGE_VENDOR "tav_acs project")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Data access to servo amplifiers: parameters, positioning tables, line")
set(CPACK_PACKAGE_CONTACT "tav_acs maintainers <tav-acs@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
# tav and the libraries find each other's sonames in the build tree.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libtav-acs1)
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libtav-acs-dev)
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME tav-acs-tools)
set(CPACK_COMPONENTS_ALL runtime dev tools)
set(CPACK_COMPONENT_DEV_DEPENDS runtime)
set(CPACK_COMPONENT_TOOLS_DEPENDS runtime)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
include(CPack)
