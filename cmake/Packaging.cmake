# Installation and the Debian package: the three programs in bin, a desktop
# entry with its icon, manual pages made from each program's --help, and the
# copyright and changelog files Debian asks for. `scripts/package` runs CPack.
include(GNUInstallDirs)

install(TARGETS tarvine tarvine-cli tarvine-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/packaging/tarvine.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/tarvine.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

set(TARVINE_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/tarvine)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright DESTINATION ${TARVINE_DOC_DIR})

find_program(GZIP_EXECUTABLE gzip)
configure_file(${CMAKE_SOURCE_DIR}/packaging/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog
               @ONLY)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.gz
  COMMAND ${GZIP_EXECUTABLE} -9nkf ${CMAKE_BINARY_DIR}/packaging/changelog
  DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog
  COMMENT "Compressing the changelog")

# Manual pages come from the programs' own --help and --version, so they cannot
# disagree with them. They are made only where the programs run as built (not
# under the sanitizer or fuzzing builds) and help2man is present.
find_program(HELP2MAN_EXECUTABLE help2man)
set(TARVINE_MAN_PAGES "")
if(HELP2MAN_EXECUTABLE AND TARVINE_SANITIZE STREQUAL "" AND NOT TARVINE_BUILD_FUZZ)
  foreach(program_and_summary
          "tarvine|set up, tune and test Ethernet motor controllers"
          "tarvine-cli|command-line front end for Ethernet motor controllers"
          "tarvine-sim|virtual Ethernet motor controller on loopback")
    string(REPLACE "|" ";" parts "${program_and_summary}")
    list(GET parts 0 program)
    list(GET parts 1 summary)
    set(page ${CMAKE_BINARY_DIR}/packaging/${program}.1)
    add_custom_command(
      OUTPUT ${page}.gz
      COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
              ${HELP2MAN_EXECUTABLE} --no-info --no-discard-stderr --section=1
              --name=${summary} --output=${page} $<TARGET_FILE:${program}>
      COMMAND ${GZIP_EXECUTABLE} -9nf ${page}
      DEPENDS ${program}
      COMMENT "Manual page of ${program}")
    list(APPEND TARVINE_MAN_PAGES ${page}.gz)
  endforeach()
endif()
add_custom_target(tarvine_package_files ALL
                  DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.gz ${TARVINE_MAN_PAGES})
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz DESTINATION ${TARVINE_DOC_DIR})
if(TARVINE_MAN_PAGES)
  install(FILES ${TARVINE_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvine)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "Tarvine developers <developers@tarvine.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "set-up, tuning and test tool for Ethernet motor controllers")
set(CPACK_PACKAGE_DESCRIPTION
    "Tarvine connects to one intelligent motor controller (DC, brushless EC or\n"
    "stepper drive) over TCP, UDP or an Ethernet-to-I2C gateway, identifies its\n"
    "model and firmware, shows live read-outs and charts, tunes the regulator,\n"
    "drives the motor with consigns and configures the controller's features.\n"
    "The package holds the desktop tool, the command-line tool tarvine-cli for\n"
    "scripted test benches and the virtual controller tarvine-sim.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${PROJECT_HOMEPAGE_URL})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Dependencies come from the shared libraries the programs link.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
