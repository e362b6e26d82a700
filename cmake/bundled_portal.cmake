# vantu_bundled_portal(PROGRAM): a copy of the bundled start page (portal/) beside PROGRAM in the
# build tree, kept up to date with its sources, so that the program finds its page when started
# from there.
function(vantu_bundled_portal program)
    file(GLOB_RECURSE portal_files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/portal/*)
    set(copy ${CMAKE_CURRENT_BINARY_DIR}/portal)
    add_custom_command(
        OUTPUT ${copy}.stamp
        COMMAND ${CMAKE_COMMAND} -E rm -rf ${copy}
        COMMAND ${CMAKE_COMMAND} -E copy_directory ${PROJECT_SOURCE_DIR}/portal ${copy}
        COMMAND ${CMAKE_COMMAND} -E touch ${copy}.stamp
        DEPENDS ${portal_files})
    add_custom_target(${program}_portal ALL DEPENDS ${copy}.stamp)
    add_dependencies(${program} ${program}_portal)
endfunction()
