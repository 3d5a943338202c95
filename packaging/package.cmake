# Installation and the Debian package (cpack -G DEB in the build folder):
# both programs, the menu entry with its icon, the manual pages, the example
# scripts, the udev rule that puts FT232-class adapters on a 1 ms timer, and
# the copyright and changelog files Debian asks of every package.
include(GNUInstallDirs)

install(TARGETS quorvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET quorvane-batch)
  install(TARGETS quorvane-batch RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES ${CMAKE_SOURCE_DIR}/packaging/quorvane.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/ui/icons/quorvane.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Manual pages and the changelog go in compressed, as Debian keeps them (-n:
# no name or time stamp inside, so the same file gives the same bytes).
function(qv_gzip source output)
  get_filename_component(folder ${output} DIRECTORY)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    COMMAND gzip -9nc ${source} > ${output}
    DEPENDS ${source} VERBATIM)
endfunction()

file(GLOB QV_MAN_PAGES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/doc/man/*.1)
set(QV_MAN_GZ "")
foreach(page IN LISTS QV_MAN_PAGES)
  get_filename_component(name ${page} NAME)
  qv_gzip(${page} ${CMAKE_BINARY_DIR}/man/${name}.gz)
  list(APPEND QV_MAN_GZ ${CMAKE_BINARY_DIR}/man/${name}.gz)
endforeach()
set(QV_CHANGELOG_GZ ${CMAKE_BINARY_DIR}/doc/changelog.gz)
qv_gzip(${CMAKE_SOURCE_DIR}/packaging/changelog ${QV_CHANGELOG_GZ})
add_custom_target(package_docs ALL DEPENDS ${QV_MAN_GZ} ${QV_CHANGELOG_GZ})
install(FILES ${QV_MAN_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# A package built from its own source (no Debian revision) keeps its changelog
# as changelog.gz; copyright is Debian's machine-readable form of LICENSE.
install(FILES ${QV_CHANGELOG_GZ} ${CMAKE_SOURCE_DIR}/packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

install(FILES ${QV_CATALOGUE} DESTINATION ${CMAKE_INSTALL_LOCALEDIR}/en/LC_MESSAGES)

# udev reads its rules from /usr/lib/udev/rules.d (prefix /usr in the package).
install(FILES ${CMAKE_SOURCE_DIR}/packaging/60-quorvane-usb-serial.rules DESTINATION lib/udev/rules.d)

file(GLOB QV_EXAMPLES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/examples/*)
install(FILES ${QV_EXAMPLES} DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "service tool for hard-disk drives with a diagnostic serial terminal")
# Lines of at most 80 characters, as Debian's tools show them.
set(CPACK_PACKAGE_DESCRIPTION [=[
Quorvane works a hard-disk drive's diagnostic serial terminal through a
TTL-level (3.3 V) USB-to-serial adapter: a terminal pane and command line,
canned commands and repair procedures, buffer, track and flash ROM transfers,
firmware backup and module loading, and batch scripts, with a window
(quorvane) or without one (quorvane-batch). A built-in simulated drive
(port SIM) answers like a real one for practice.]=])
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quorvane developers <quorvane@users.noreply.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The libraries the programs link (Qt 6 Widgets, Gui, Core, libcrypto, libsqlite3 for the
# firmware library's index, the C++ runtime)
# come from dpkg-shlibdeps; Qt's plugins are loaded at run time, so they are
# named: the windowing system's platform plugins and the SVG icon engine.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6svg6")
# The captions are Chinese; without a CJK font they show as boxes.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk")
include(CPack)

if(QV_TESTS)
  add_test(NAME package COMMAND ${CMAKE_SOURCE_DIR}/packaging/check_package.sh ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
  set_tests_properties(package PROPERTIES LABELS package SKIP_RETURN_CODE 77 TIMEOUT 600)
endif()
