# Installation and the Debian package (cpack -G DEB in the build folder):
# both programs, the menu entry with its icon, the manual pages, the example
# scripts and the udev rule that puts FT232-class adapters on a 1 ms timer.
include(GNUInstallDirs)

install(TARGETS quorvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET quorvane-batch)
  install(TARGETS quorvane-batch RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES ${CMAKE_SOURCE_DIR}/packaging/quorvane.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/ui/icons/quorvane.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Manual pages go in compressed, as Debian keeps them (-n: no name or time
# stamp inside, so the same page gives the same bytes).
file(GLOB QV_MAN_PAGES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/doc/man/*.1)
set(QV_MAN_GZ "")
foreach(page IN LISTS QV_MAN_PAGES)
  get_filename_component(name ${page} NAME)
  set(gz ${CMAKE_BINARY_DIR}/man/${name}.gz)
  add_custom_command(OUTPUT ${gz}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND gzip -9nc ${page} > ${gz}
    DEPENDS ${page} VERBATIM)
  list(APPEND QV_MAN_GZ ${gz})
endforeach()
add_custom_target(man_pages ALL DEPENDS ${QV_MAN_GZ})
install(FILES ${QV_MAN_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

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
set(CPACK_PACKAGE_DESCRIPTION
    "Quorvane works a hard-disk drive's diagnostic serial terminal through an RS-232 or USB-to-serial adapter: a terminal pane and command line, canned commands and repair procedures, buffer, track and flash ROM transfers, firmware backup and module loading, and batch scripts, with a window (quorvane) or without one (quorvane-batch). A built-in simulated drive (port SIM) answers like a real one for practice.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quorvane developers <quorvane@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The libraries the programs link (Qt 6 Widgets, Gui, Core, the C++ runtime)
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
