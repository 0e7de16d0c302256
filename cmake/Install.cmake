# Installing Stepwright as a desktop application, its manual pages, and the
# Debian package built from the same install rules.
#
#   <prefix>/bin                            stepwright, stepwright-cli, stepwright-sim
#   <prefix>/share/doc/stepwright           stepwright.pdf (the guide Help opens), README, notes
#   <prefix>/share/stepwright/examples      sample programs and their scenarios
#   <prefix>/share/man/man1                 the three manual pages
#   <prefix>/share/applications             desktop entry
#   <prefix>/share/icons/hicolor            application icon (and the program file's icon)
#   <prefix>/share/mime/packages            the .stw and .sws file types
#   <prefix>/lib/python3/dist-packages      the Python module stepwright (Debian's place for
#                                           Python packages under /usr)

include(GNUInstallDirs)

set(STEPWRIGHT_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/stepwright)
set(STEPWRIGHT_EXAMPLES_DIR ${CMAKE_INSTALL_DATADIR}/stepwright/examples)
set(STEPWRIGHT_ICON_SIZES 16 22 24 32 48 64 128 256)

foreach(program stepwright stepwright-cli stepwright-sim)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

# Each program's version (--version), and the window's icon compiled in for
# the title bar.
foreach(program stepwright stepwright-cli stepwright-sim)
  if(TARGET ${program})
    target_compile_definitions(${program} PRIVATE STEPWRIGHT_VERSION="${PROJECT_VERSION}")
  endif()
endforeach()
# The guide as installed: check's SARIF log points into it for each rule.
if(TARGET stepwright_cli)
  target_compile_definitions(stepwright_cli PRIVATE
    STEPWRIGHT_DOC_PATH="${CMAKE_INSTALL_FULL_DATADIR}/doc/stepwright")
endif()
if(TARGET stepwright)
  target_sources(stepwright PRIVATE ${CMAKE_SOURCE_DIR}/data/stepwright.qrc)
  set_target_properties(stepwright PROPERTIES AUTORCC ON)
endif()

# The Python module: the package folder as the build folder holds it.
set(STEPWRIGHT_PYTHON_INSTALL_DIR lib/python3/dist-packages CACHE STRING
  "Folder under the prefix that the Python module stepwright is installed into")
if(TARGET stepwright_python)
  install(TARGETS stepwright_python LIBRARY DESTINATION ${STEPWRIGHT_PYTHON_INSTALL_DIR}/stepwright)
  install(FILES ${PYTHON_PACKAGE_FILES} DESTINATION ${STEPWRIGHT_PYTHON_INSTALL_DIR}/stepwright)
endif()

# Documentation and examples.
if(TARGET manual)
  install(FILES ${CMAKE_BINARY_DIR}/stepwright.pdf DESTINATION ${STEPWRIGHT_DOC_DIR})
endif()
install(FILES README.md docs/manual.md docs/messages.md docs/program-text.md docs/simulator.md
  DESTINATION ${STEPWRIGHT_DOC_DIR})
install(DIRECTORY examples/ DESTINATION ${STEPWRIGHT_EXAMPLES_DIR})

# Desktop integration.
install(FILES data/stepwright.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES data/stepwright-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
  RENAME stepwright.xml)
set(icon_root ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
install(FILES data/icons/stepwright.svg DESTINATION ${icon_root}/scalable/apps)
install(FILES data/icons/stepwright.svg DESTINATION ${icon_root}/scalable/mimetypes
  RENAME application-x-stepwright.svg)
foreach(size ${STEPWRIGHT_ICON_SIZES})
  install(FILES data/icons/stepwright-${size}.png DESTINATION ${icon_root}/${size}x${size}/apps
    RENAME stepwright.png)
  install(FILES data/icons/stepwright-${size}.png DESTINATION ${icon_root}/${size}x${size}/mimetypes
    RENAME application-x-stepwright.png)
endforeach()

# Manual pages, written from each program's --help at build time.
set(man_pages "")
function(stepwright_man_page program summary)
  cmake_parse_arguments(PAGE "COMMANDS" "NOTES" "SEE_ALSO" ${ARGN})
  if(NOT TARGET ${program})
    return()
  endif()
  set(page ${CMAKE_BINARY_DIR}/man/${program}.1)
  string(REPLACE ";" "," see_also "${PAGE_SEE_ALSO}")
  add_custom_command(OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${program}> -DNAME=${program}
      "-DSUMMARY=${summary}" -DVERSION=${PROJECT_VERSION} -DOUTPUT=${page}
      -DCOMMANDS=${PAGE_COMMANDS} "-DSEE_ALSO=${see_also}" "-DNOTES=${PAGE_NOTES}"
      -P ${CMAKE_SOURCE_DIR}/cmake/ManPage.cmake
    DEPENDS ${program} ${CMAKE_SOURCE_DIR}/cmake/ManPage.cmake
    COMMENT "Writing the manual page ${program}.1"
    VERBATIM)
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  set(man_pages ${man_pages} ${page} PARENT_SCOPE)
endfunction()
stepwright_man_page(stepwright "write, download, run and debug Stepwright sequence programs"
  SEE_ALSO stepwright-cli stepwright-sim
  NOTES "Help opens the user guide stepwright.pdf, installed in share/doc/stepwright under the installation's prefix. Sample programs are in share/stepwright/examples. Opening a serial port needs membership of its group: sudo usermod -aG dialout $USER, then log in again.")
stepwright_man_page(stepwright-cli "the Stepwright window's jobs from a shell" COMMANDS
  SEE_ALSO stepwright stepwright-sim)
stepwright_man_page(stepwright-sim "a simulated Stepwright master on a pseudo-terminal"
  SEE_ALSO stepwright stepwright-cli)
if(man_pages)
  add_custom_target(man_pages ALL DEPENDS ${man_pages})
endif()

# The installed tree, checked by the tests: programs, guide, examples, manual
# pages, desktop entry, icon, file types, and a download by the installed
# command line from an installed example.
if(TARGET stepwright AND TARGET stepwright-cli AND TARGET stepwright-sim AND TARGET manual)
  add_test(NAME install_tree
    COMMAND bash ${CMAKE_SOURCE_DIR}/tests/install/test_install.sh ${CMAKE_BINARY_DIR} ${CMAKE_COMMAND})
  set_tests_properties(install_tree PROPERTIES TIMEOUT 300)
  # The Debian package, when dpkg-shlibdeps is there to compute its dependencies.
  find_program(DPKG_SHLIBDEPS dpkg-shlibdeps)
  if(DPKG_SHLIBDEPS)
    add_test(NAME debian_package
      COMMAND bash ${CMAKE_SOURCE_DIR}/tests/install/test_package.sh ${CMAKE_BINARY_DIR} ${CMAKE_CPACK_COMMAND})
    set_tests_properties(debian_package PROPERTIES TIMEOUT 300)
  endif()
endif()

# The Debian package: cpack -G DEB in the build folder (scripts/package.sh).
set(STEPWRIGHT_MAINTAINER "Stepwright developers <stepwright@example.org>"
  CACHE STRING "Maintainer named in the Debian package")
set(CPACK_PACKAGE_NAME stepwright)
set(CPACK_PACKAGE_VENDOR "Stepwright developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${STEPWRIGHT_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "editor, downloader and debugger for Stepwright motion controllers")
# The long description; CPack puts the summary above it and indents it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Stepwright writes, stores, downloads, runs and debugs sequence programs for
a Stepwright master module and the servo, stepper and digital I/O modules on
its serial network. Programs are built line by line in a form-based command
builder, saved as .stw files, downloaded and verified, then run, stepped,
stopped at a breakpoint and watched live.

The package holds the desktop application (stepwright), a command line that
does every job of the window from a shell (stepwright-cli) and a simulated
master on a pseudo-terminal (stepwright-sim), with the user guide, sample
programs and manual pages, and the Python module stepwright on the same core.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${STEPWRIGHT_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Library dependencies come from the binaries.  The window system plugins are
# loaded at run time, so no binary names them: qt6-qpa-plugins is added here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# The Python module is built for one Python version and links no libpython.
if(TARGET stepwright_python)
  math(EXPR python_next "${Python3_VERSION_MINOR} + 1")
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS
    ", python3 (>= ${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}), python3 (<< ${Python3_VERSION_MAJOR}.${python_next})")
endif()
# Help opens the guide in the desktop's PDF viewer.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
include(CPack)
