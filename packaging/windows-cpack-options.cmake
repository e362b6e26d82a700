# Read by cpack for each generator. The installer takes the programs and the page only (the
# install rules without a component), leaving the simulator out. It stays one package without
# components: the installer's definitions (its 64-bit target) hold only for such a package.
if(CPACK_GENERATOR STREQUAL "NSIS")
    unset(CPACK_COMPONENTS_ALL)
    string(REPLACE ";ALL;" ";Unspecified;" CPACK_INSTALL_CMAKE_PROJECTS
           "${CPACK_INSTALL_CMAKE_PROJECTS}")
    set(CPACK_PACKAGE_FILE_NAME "vantu-${CPACK_PACKAGE_VERSION}-win64-setup")
    # The zip's top folder; an installer has its own.
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
endif()
