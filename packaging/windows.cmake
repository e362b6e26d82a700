# The Windows packages (cpack in the windows-release build): a zip that is unpacked anywhere and
# run from there.
#   vantu.exe            the window
#   vantu-cli.exe        the page's methods and the file tools from a console
#   portal\              the bundled start page, with Leaflet in portal\leaflet and the map
#                        editor and the chart in portal\lib
#   tools\rapi.dll       the navigator simulator; never beside the programs, where a program that
#                        loaded its remote API library by bare name would take it for the real one
#   README.txt
if(TARGET vantu-cli)
    install(TARGETS vantu-cli RUNTIME DESTINATION .)
endif()
if(TARGET navsim)
    install(TARGETS navsim RUNTIME DESTINATION tools COMPONENT simulator
            LIBRARY DESTINATION tools COMPONENT simulator)
endif()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/portal/ DESTINATION portal)
vantu_install_leaflet(portal/leaflet)
vantu_install_page_libraries(portal/lib)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/README-windows.txt DESTINATION . RENAME README.txt)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME vantu)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "vantu developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "companion program for a handheld GPS navigator")
set(CPACK_PACKAGE_FILE_NAME vantu-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
# Signed programs were stripped while linking: stripping them here would break the signature.
if(VANTU_SIGN_PKCS12)
    set(CPACK_STRIP_FILES OFF)
    if(TARGET navsim)
        target_link_options(navsim PRIVATE -s)
    endif()
else()
    set(CPACK_STRIP_FILES ON)
endif()
# The installer and the window (windows-installer.cmake).
include(${CMAKE_CURRENT_LIST_DIR}/windows-installer.cmake)
include(CPack)
