# The Windows installer (cpack -G NSIS in the windows-release build), from our own template
# (windows/NSIS.template.in): the window, the command line and the bundled page in one folder
# under the user's own program folder, a Start-menu entry for the window and an uninstaller,
# all for the current user, without administrator rights, in Simplified Chinese.
# The navigator simulator stays out of it: it is a test tool, shipped in the zip only.
if(TARGET vantu)
    install(TARGETS vantu RUNTIME DESTINATION .)
endif()

list(APPEND CPACK_GENERATOR NSIS)
set(CPACK_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR}/windows)
set(CPACK_NSIS_PACKAGE_NAME KorvelVantu)
# A 64-bit installer: the default stub is 32-bit and does not start on a 64-bit-only system.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_VANTU_MESSAGES ${CMAKE_CURRENT_LIST_DIR}/windows/installer-messages.nsh)
set(CPACK_VANTU_ICON ${PROJECT_BINARY_DIR}/src/app/win32/generated/vantu.ico)
if(VANTU_SIGN_PKCS12)
    # makensis signs the installer and the uninstaller it carries with sign.cmake.
    set(CPACK_VANTU_CMAKE ${CMAKE_COMMAND})
    set(CPACK_VANTU_OSSLSIGNCODE ${VANTU_OSSLSIGNCODE})
    set(CPACK_VANTU_SIGN_PKCS12 ${VANTU_SIGN_PKCS12})
    set(CPACK_VANTU_SIGN_PASSWORD_FILE ${VANTU_SIGN_PASSWORD_FILE})
    set(CPACK_VANTU_SIGN_TIMESTAMP_URL ${VANTU_SIGN_TIMESTAMP_URL})
    set(CPACK_VANTU_SIGN_SCRIPT ${VANTU_SIGN_SCRIPT})
endif()
# The generator reads the per-generator settings below when it runs.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/windows-cpack-options.cmake)
