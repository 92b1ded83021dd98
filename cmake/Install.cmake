# Installation in the freedesktop places and the Debian package built from it by cpack.
include(GNUInstallDirs)

# The command-line programs arrive with other work; each is installed once it is a target.
foreach(program zelvan zelvan-keytool zelvan-sandbox zelvan-cli)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/desktop/zelvan.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/desktop/zelvan.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

file(STRINGS ${PROJECT_SOURCE_DIR}/scripts/runtime-packages runtime_packages REGEX "^[^#]")
list(JOIN runtime_packages ", " runtime_depends)

set(CPACK_PACKAGE_NAME zelvan)
set(CPACK_PACKAGE_VENDOR "zelvan")
set(CPACK_PACKAGE_CONTACT "zelvan developers <zelvan@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "SMEV client: signed GOST messages for GIS GMP and GIS ZhKH")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# The libraries the programs link against come from dpkg-shlibdeps; what is only loaded at run
# time (the screen plugins, the GOST engine, Qt's Russian texts) is named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${runtime_depends}")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-gtk-platformtheme")
include(CPack)
