# Installation in the freedesktop places and the Debian package built from it by cpack.
include(GNUInstallDirs)

# The command-line programs arrive with other work; each is installed once it is a target.
foreach(program zelvan zelvan-keytool zelvan-sandbox zelvan-cli)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

# Manual pages made at build time from each program's --help by help2man, so a page never names a
# switch its program does not have. The window answers --help before it opens, on any screen. The
# program is run by its name, as a reader types it, so the usage line does not show the build folder;
# help2man reads UTF-8 help text under a UTF-8 locale, but garbles a non-ASCII --name, so each page's
# name line comes from an include file.
find_program(HELP2MAN help2man REQUIRED)
set(man_summary_zelvan "СМЭВ клиент: подписанные запросы к ГИС ГМП и ГИС ЖКХ")
set(man_summary_zelvan-cli "the client's operations from the command line, for batches")
set(man_summary_zelvan-keytool "makes, imports and lists the client's key containers")
set(man_summary_zelvan-sandbox "the state systems' gateways and a time-stamp authority for training")
set(man_pages)
foreach(program zelvan zelvan-cli zelvan-keytool zelvan-sandbox)
  if(TARGET ${program})
    set(page ${PROJECT_BINARY_DIR}/man/${program}.1)
    set(name_section ${PROJECT_BINARY_DIR}/man/${program}.h2m)
    file(CONFIGURE OUTPUT ${name_section} CONTENT "[NAME]\n${program} \\- ${man_summary_${program}}\n")
    add_custom_command(
      OUTPUT ${page}
      COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
              "PATH=$<TARGET_FILE_DIR:${program}>:$ENV{PATH}"
              ${HELP2MAN} --no-info --locale=C.UTF-8 --version-string=${PROJECT_VERSION}
              --include=${name_section} --output=${page}.new ${program}
      COMMAND ${CMAKE_COMMAND} -E rename ${page}.new ${page}
      DEPENDS ${program} ${name_section}
      COMMENT "Manual page of ${program}"
      VERBATIM)
    list(APPEND man_pages ${page})
    install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endforeach()
add_custom_target(man_pages ALL DEPENDS ${man_pages})

# The operator's guide, as the package installs it in /usr/share/doc/zelvan.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/guide/ DESTINATION ${CMAKE_INSTALL_DOCDIR}
        FILES_MATCHING PATTERN "*.md" PATTERN "*.png")

# The systemd user unit of the exchange folders names zelvan-cli by its installed path, which is known
# only when installing (cpack installs into /usr whatever the build's prefix), so it is made then.
if(TARGET zelvan-cli)
  set(exchange_unit ${PROJECT_BINARY_DIR}/systemd/zelvan-exchange@.service)
  install(CODE "set(bindir \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    configure_file(\"${PROJECT_SOURCE_DIR}/systemd/zelvan-exchange@.service.in\" \"${exchange_unit}\" @ONLY)")
  install(FILES ${exchange_unit} DESTINATION lib/systemd/user)
endif()

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
