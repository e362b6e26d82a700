# The Windows installer (cpack -G NSIS in the windows-release build): the window, the command
# line and the bundled page in one folder, a Start-menu entry for the window and an uninstaller.
# The navigator simulator stays out of it: it is a test tool, shipped in the zip only.
if(TARGET vantu)
    install(TARGETS vantu RUNTIME DESTINATION .)
endif()

list(APPEND CPACK_GENERATOR NSIS)
set(CPACK_PACKAGE_INSTALL_DIRECTORY KorvelVantu)
set(CPACK_NSIS_PACKAGE_NAME KorvelVantu)
set(CPACK_NSIS_DISPLAY_NAME KorvelVantu)
# A 64-bit installer: the default stub is 32-bit and does not start on a 64-bit-only system.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_INSTALLED_ICON_NAME vantu.exe)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_PACKAGE_EXECUTABLES vantu KorvelVantu)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
# The generator reads the per-generator settings below when it runs.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/windows-cpack-options.cmake)
