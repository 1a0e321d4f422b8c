# Installing like a Linux program: the program folder (the program with its languages, help
# pages, Topic.ini and sample tests) in lib/kvizor, the program on the PATH, its launcher and
# icon in the applications menu, the tools in bin. An installed copy that the user may not write
# works in the user's own folder (see src/shell/UserFolder.h).
set(KVIZOR_PROGRAM_DIR lib/kvizor)

install(TARGETS kvizor RUNTIME DESTINATION ${KVIZOR_PROGRAM_DIR})
install(FILES ${KVIZOR_STAGE_DIR}/Topic.ini ${KVIZOR_STAGE_DIR}/kvizor.svg
        DESTINATION ${KVIZOR_PROGRAM_DIR})
install(DIRECTORY ${KVIZOR_STAGE_DIR}/Language ${KVIZOR_STAGE_DIR}/Help
        DESTINATION ${KVIZOR_PROGRAM_DIR})
# Built by kvizor-pack; a fuzzing or tool-less build has none.
install(DIRECTORY ${KVIZOR_STAGE_DIR}/Base ${KVIZOR_STAGE_DIR}/Uchebnik
        DESTINATION ${KVIZOR_PROGRAM_DIR} OPTIONAL)
install(CODE "
  set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/kvizor\")
  file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
  file(REMOVE \"\${link}\")
  file(CREATE_LINK ../${KVIZOR_PROGRAM_DIR}/kvizor \"\${link}\" SYMBOLIC)
  message(STATUS \"Installing: \${link}\")
")
install(FILES ${CMAKE_SOURCE_DIR}/data/kvizor.desktop DESTINATION share/applications)
if(TARGET kvizor-editor)
  install(FILES ${CMAKE_SOURCE_DIR}/data/kvizor-editor.desktop DESTINATION share/applications)
endif()
install(FILES ${CMAKE_SOURCE_DIR}/data/images/kvizor.svg
        DESTINATION share/icons/hicolor/scalable/apps)
foreach(tool kvizor-pack kvizor-results kvizor-server kvizor-editor)
  if(TARGET ${tool})
    install(TARGETS ${tool} RUNTIME DESTINATION bin)
  endif()
endforeach()

# Manual pages, the documentation a technician needs, the kiosk session for exam workstations,
# and the menu file that gathers profile launchers into a Kvizor submenu.
foreach(page kvizor kvizor-pack kvizor-results kvizor-server kvizor-editor)
  install(FILES ${CMAKE_SOURCE_DIR}/docs/man/${page}.1 DESTINATION share/man/man1)
endforeach()
set(KVIZOR_CHANGELOG_GZ ${CMAKE_BINARY_DIR}/changelog.gz)
file(ARCHIVE_CREATE OUTPUT ${KVIZOR_CHANGELOG_GZ} PATHS ${CMAKE_SOURCE_DIR}/docs/changelog
     FORMAT raw COMPRESSION GZip)
install(FILES ${CMAKE_SOURCE_DIR}/docs/copyright ${KVIZOR_CHANGELOG_GZ}
        ${CMAKE_SOURCE_DIR}/docs/classroom.md ${CMAKE_SOURCE_DIR}/docs/kvizor-server.md
        ${CMAKE_SOURCE_DIR}/docs/test-description.md
        DESTINATION share/doc/kvizor)
install(PROGRAMS ${CMAKE_SOURCE_DIR}/docs/kiosk/kvizor-kiosk-session
        DESTINATION share/kvizor/kiosk)
install(FILES ${CMAKE_SOURCE_DIR}/docs/kiosk/kvizor-kiosk.desktop DESTINATION share/kvizor/kiosk)
install(FILES ${CMAKE_SOURCE_DIR}/data/menu/kvizor.directory
        DESTINATION share/desktop-directories)
# Menus are looked for in the configuration folders ($XDG_CONFIG_DIRS): /etc/xdg for a copy
# installed under /usr (the package), <prefix>/etc/xdg for any other prefix, which stays
# writable by whoever installs there (file(INSTALL) adds DESTDIR itself).
install(CODE "
  if(CMAKE_INSTALL_PREFIX MATCHES \"/usr/?$\")
    set(menus \"/etc/xdg/menus/applications-merged\")
  else()
    set(menus \"\${CMAKE_INSTALL_PREFIX}/etc/xdg/menus/applications-merged\")
  endif()
  file(INSTALL \"${CMAKE_SOURCE_DIR}/data/menu/kvizor.menu\" DESTINATION \"\${menus}\")
")

# cpack -G DEB in the build folder makes kvizor_<version>_<arch>.deb.
set(CPACK_PACKAGE_NAME kvizor)
set(CPACK_PACKAGE_VENDOR "Kvizor developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Computer-based testing for schools: the examinee's program")
set(CPACK_PACKAGE_CONTACT "Kvizor developers <kvizor-team@example.org>")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Stripped binaries: the debug information would make the package several times its size.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Computer-based testing for schools: the examinee's program
 A pupil sits at a workstation, takes a test from the local Base folder or from the
 supervisor's testing server on the classroom network, answers question by question within
 the time limits, and gets a score and a mark; the result archive lands where the supervisor
 collects it. The workstation can be locked down for an exam, and a run in progress survives
 a crash.
 .
 The package also holds kvizor-editor (the teacher's test editor), kvizor-pack (makes test
 archives), kvizor-results (reads and exports
 result archives), kvizor-server (the supervisor's testing server) and a kiosk session for
 exam workstations in /usr/share/kvizor/kiosk.")
# The kiosk session runs the program under openbox.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "openbox")
# Loaded at run time, so the library scan cannot see them in kvizor: the X11 platform, SVG
# icons, and the archive and page libraries kvizor opens with the first test (the tools link them).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6svg6, libzip4, libgsf-1-114, libemf2svg1")
include(CPack)
