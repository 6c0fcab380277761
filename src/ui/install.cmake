# Installing Tavrona: the executables, the image plug-in and a default tavrona.INI go together
# into lib/tavrona (they find each other and the settings beside the running executable), with
# links in bin; a desktop entry, the icon and the project file type let file managers open
# projects with Tavrona.
include(GNUInstallDirs)
set(TAVRONA_PROGRAM_DIR ${CMAKE_INSTALL_LIBDIR}/tavrona)

install(TARGETS tavrona tavrona-cli RUNTIME DESTINATION ${TAVRONA_PROGRAM_DIR})
install(TARGETS qtimage LIBRARY DESTINATION ${TAVRONA_PROGRAM_DIR})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/resources/tavrona.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/resources/tavrona-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
  RENAME tavrona.xml)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/resources/tavrona.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/resources/tavrona.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps)

# The settings file is the user's once it exists: a reinstall keeps it. The links in bin, and
# the desktop databases refreshed where their tools are present.
install(CODE "
  set(prefix \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
  set(ini \"\${prefix}/${TAVRONA_PROGRAM_DIR}/tavrona.INI\")
  if(NOT EXISTS \"\${ini}\")
    file(COPY \"${CMAKE_CURRENT_LIST_DIR}/resources/tavrona.INI\"
         DESTINATION \"\${prefix}/${TAVRONA_PROGRAM_DIR}\")
  endif()
  file(MAKE_DIRECTORY \"\${prefix}/${CMAKE_INSTALL_BINDIR}\")
  foreach(program tavrona tavrona-cli)
    file(CREATE_LINK \"../${TAVRONA_PROGRAM_DIR}/\${program}\"
         \"\${prefix}/${CMAKE_INSTALL_BINDIR}/\${program}\" SYMBOLIC)
  endforeach()
  find_program(update_mime update-mime-database)
  if(update_mime AND NOT DEFINED ENV{DESTDIR})
    execute_process(COMMAND \${update_mime} \"\${prefix}/${CMAKE_INSTALL_DATADIR}/mime\"
                    OUTPUT_QUIET ERROR_QUIET)
  endif()
  find_program(update_desktop update-desktop-database)
  if(update_desktop AND NOT DEFINED ENV{DESTDIR})
    execute_process(COMMAND \${update_desktop} \"\${prefix}/${CMAKE_INSTALL_DATADIR}/applications\"
                    OUTPUT_QUIET ERROR_QUIET)
  endif()
")
