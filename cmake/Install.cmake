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
install(FILES ${CMAKE_SOURCE_DIR}/data/images/kvizor.svg
        DESTINATION share/icons/hicolor/scalable/apps)
foreach(tool kvizor-pack kvizor-results kvizor-server)
  if(TARGET ${tool})
    install(TARGETS ${tool} RUNTIME DESTINATION bin)
  endif()
endforeach()

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
# Loaded at run time, so the library scan cannot see them: the X11 platform and SVG icons.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6svg6")
include(CPack)
