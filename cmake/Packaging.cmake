# SPDX-FileCopyrightText: 2026 The Tarvine developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Installation and the Debian package: the three programs in bin, a desktop
# entry with its icon and AppStream metainfo, manual pages made from each
# program's --help, tarvine-cli's bash completion, and the copyright and changelog files Debian asks for.
# `scripts/package` builds the package from these: it installs into a staging
# folder, strips the programs and runs dpkg-gencontrol and dpkg-deb with the
# source package files made here (packaging/debian/).
include(GNUInstallDirs)

set(TARVINE_APP_ID org.example.tarvine)
set(TARVINE_PACKAGING_DIR ${CMAKE_BINARY_DIR}/packaging)

install(TARGETS tarvine tarvine-cli tarvine-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/packaging/${TARVINE_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/tarvine.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
configure_file(${CMAKE_SOURCE_DIR}/packaging/${TARVINE_APP_ID}.metainfo.xml.in
               ${TARVINE_PACKAGING_DIR}/${TARVINE_APP_ID}.metainfo.xml @ONLY)
install(FILES ${TARVINE_PACKAGING_DIR}/${TARVINE_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

set(TARVINE_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/tarvine)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright DESTINATION ${TARVINE_DOC_DIR})
# lintian's false positives, each with its reason.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME tarvine)

# Everything dated comes from the sources' date (cmake/SourceDate.cmake); the
# stamp file changes only when that date does, and remakes what depends on it.
file(WRITE ${TARVINE_PACKAGING_DIR}/source-date-epoch.new "${TARVINE_SOURCE_DATE_EPOCH}\n")
configure_file(${TARVINE_PACKAGING_DIR}/source-date-epoch.new
               ${TARVINE_PACKAGING_DIR}/source-date-epoch COPYONLY)

# The source package files dpkg-gencontrol reads: control and changelog.
configure_file(${CMAKE_SOURCE_DIR}/packaging/control.in ${TARVINE_PACKAGING_DIR}/debian/control
               @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/packaging/changelog.in
               ${TARVINE_PACKAGING_DIR}/debian/changelog @ONLY)

find_program(GZIP_EXECUTABLE gzip)
add_custom_command(
  OUTPUT ${TARVINE_PACKAGING_DIR}/changelog.gz
  COMMAND ${GZIP_EXECUTABLE} -9nc ${TARVINE_PACKAGING_DIR}/debian/changelog
          > ${TARVINE_PACKAGING_DIR}/changelog.gz
  DEPENDS ${TARVINE_PACKAGING_DIR}/debian/changelog
  COMMENT "Compressing the changelog")

# Manual pages and the bash completion come from the programs themselves, so
# they cannot disagree with --help: tarvine-cli writes its page from its
# command table (--help --man) and its completion (--completion bash); the
# pages of tarvine and tarvine-sim are made by help2man from --help and
# --version, then given a date mandoc reads and text lines it accepts
# (ManPageFixup.cmake). They are made only where the programs run as built
# (not under the sanitizer or fuzzing builds); every date is the sources'.
find_program(HELP2MAN_EXECUTABLE help2man)
set(TARVINE_MAN_PAGES "")
set(TARVINE_COMPLETION "")
if(TARVINE_SANITIZE STREQUAL "" AND NOT TARVINE_BUILD_FUZZ)
  set(page ${TARVINE_PACKAGING_DIR}/tarvine-cli.1)
  add_custom_command(
    OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${TARVINE_SOURCE_DATE_EPOCH}
            $<TARGET_FILE:tarvine-cli> --help --man > ${page}
    COMMAND ${GZIP_EXECUTABLE} -9nf ${page}
    DEPENDS tarvine-cli ${TARVINE_PACKAGING_DIR}/source-date-epoch
    COMMENT "Manual page of tarvine-cli")
  list(APPEND TARVINE_MAN_PAGES ${page}.gz)
  set(TARVINE_COMPLETION ${TARVINE_PACKAGING_DIR}/tarvine-cli.bash-completion)
  add_custom_command(
    OUTPUT ${TARVINE_COMPLETION}
    COMMAND $<TARGET_FILE:tarvine-cli> --completion bash > ${TARVINE_COMPLETION}
    DEPENDS tarvine-cli
    COMMENT "Bash completion of tarvine-cli")
  if(HELP2MAN_EXECUTABLE)
    foreach(program_and_summary
            "tarvine|set up, tune and test Ethernet motor controllers"
            "tarvine-sim|virtual Ethernet motor controller on loopback")
      string(REPLACE "|" ";" parts "${program_and_summary}")
      list(GET parts 0 program)
      list(GET parts 1 summary)
      set(page ${TARVINE_PACKAGING_DIR}/${program}.1)
      add_custom_command(
        OUTPUT ${page}.gz
        COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
                SOURCE_DATE_EPOCH=${TARVINE_SOURCE_DATE_EPOCH}
                ${HELP2MAN_EXECUTABLE} --no-info --no-discard-stderr --section=1
                --name=${summary} --output=${page} $<TARGET_FILE:${program}>
        COMMAND ${CMAKE_COMMAND} -DPAGE=${page} -DDATE=${TARVINE_SOURCE_DATE_ISO}
                -P ${CMAKE_SOURCE_DIR}/cmake/ManPageFixup.cmake
        COMMAND ${GZIP_EXECUTABLE} -9nf ${page}
        DEPENDS ${program} ${TARVINE_PACKAGING_DIR}/source-date-epoch
                ${CMAKE_SOURCE_DIR}/cmake/ManPageFixup.cmake
        COMMENT "Manual page of ${program}")
      list(APPEND TARVINE_MAN_PAGES ${page}.gz)
    endforeach()
  endif()
endif()
add_custom_target(tarvine_package_files ALL
                  DEPENDS ${TARVINE_PACKAGING_DIR}/changelog.gz ${TARVINE_MAN_PAGES}
                          ${TARVINE_COMPLETION})
install(FILES ${TARVINE_PACKAGING_DIR}/changelog.gz DESTINATION ${TARVINE_DOC_DIR})
if(TARVINE_MAN_PAGES)
  install(FILES ${TARVINE_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
if(TARVINE_COMPLETION)
  install(FILES ${TARVINE_COMPLETION}
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME tarvine-cli)
endif()
