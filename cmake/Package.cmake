# The Windows package: a ZIP and an NSIS installer (cpack in the Windows build directory) holding
# vaskwell.exe, the manual folder and, where the build has it, the client CFGVaskwell.exe, all in
# one folder: the client expects the service program and manual\manual.htm beside itself.
#
# The installer registers the service by running "vaskwell -i" (which also writes the default
# configuration) and its uninstaller stops the service and removes it with "vaskwell -u" before
# it deletes the files. The configuration stays in the registry, as "vaskwell -u" leaves it.

install(TARGETS vaskwell RUNTIME DESTINATION .)
if(TARGET CFGVaskwell)
  install(TARGETS CFGVaskwell RUNTIME DESTINATION .)
  # The Qt libraries and plugins the client needs go beside it (Qt's windeployqt).
  find_program(SENTREL_WINDEPLOYQT windeployqt HINTS "${Qt6_DIR}/../../../bin")
  if(SENTREL_WINDEPLOYQT)
    install(CODE "execute_process(COMMAND \"${SENTREL_WINDEPLOYQT}\" --no-translations
                    --dir \"\${CMAKE_INSTALL_PREFIX}\" \"\${CMAKE_INSTALL_PREFIX}/CFGVaskwell.exe\"
                  COMMAND_ERROR_IS_FATAL ANY)")
  else()
    message(WARNING "windeployqt not found: the package's client will lack the Qt libraries")
  endif()
endif()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/manual/ DESTINATION manual)

set(CPACK_GENERATOR "ZIP;NSIS")
set(CPACK_PACKAGE_NAME "BrinmoorSentrel")
set(CPACK_PACKAGE_VENDOR "Brinmoor")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Forwards the Windows event logs to syslog servers and by mail")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME "BrinmoorSentrel-${PROJECT_VERSION}-win64")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Brinmoor Sentrel")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "Brinmoor Sentrel")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
# The NSIS commands below are written as NSIS reads them, backslashes and all.
set(CPACK_VERBATIM_VARIABLES ON)

# A 64-bit installer (the programs are 64-bit) into the 64-bit program folder.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_PACKAGE_NAME "Brinmoor Sentrel")
set(CPACK_NSIS_DISPLAY_NAME "Brinmoor Sentrel ${PROJECT_VERSION}")
set(CPACK_NSIS_IGNORE_LICENSE_PAGE ON)
set(CPACK_NSIS_MENU_LINKS "manual/manual.htm" "Sentrel Manual")
if(TARGET CFGVaskwell)
  list(APPEND CPACK_NSIS_MENU_LINKS "CFGVaskwell.exe" "Sentrel Configuration")
endif()
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS [=[
  DetailPrint "Registering the service: vaskwell -i"
  nsExec::ExecToLog '"$INSTDIR\vaskwell.exe" -i'
  Pop $0
]=])
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS [=[
  DetailPrint "Stopping and removing the service: net stop, vaskwell -u"
  nsExec::ExecToLog '"$SYSDIR\net.exe" stop "Brinmoor Vaskwell"'
  Pop $0
  nsExec::ExecToLog '"$INSTDIR\vaskwell.exe" -u'
  Pop $0
]=])

include(CPack)
