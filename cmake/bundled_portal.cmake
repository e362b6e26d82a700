# The bundled start page draws its map with Leaflet 1.7, taken from Debian's libjs-leaflet: the
# build copies it beside the page in the build tree and into the Windows packages; the Debian
# package links to the system's copy and depends on libjs-leaflet. It is never committed.
set(VANTU_LEAFLET_DIR /usr/share/javascript/leaflet CACHE PATH
    "Leaflet's files (leaflet.js, leaflet.css, images/), as libjs-leaflet installs them")
if(NOT EXISTS ${VANTU_LEAFLET_DIR}/leaflet.js OR NOT EXISTS ${VANTU_LEAFLET_DIR}/leaflet.css)
    message(FATAL_ERROR "No Leaflet in ${VANTU_LEAFLET_DIR}: install libjs-leaflet "
        "(scripts/install-deps.sh) or set VANTU_LEAFLET_DIR")
endif()
file(GLOB VANTU_LEAFLET_IMAGES ${VANTU_LEAFLET_DIR}/images/*.png)
set(VANTU_LEAFLET_FILES ${VANTU_LEAFLET_DIR}/leaflet.js ${VANTU_LEAFLET_DIR}/leaflet.css)

# vantu_bundled_portal(PROGRAM): a copy of the bundled start page (portal/) with Leaflet in its
# leaflet/ folder beside PROGRAM in the build tree, kept up to date with its sources, so that the
# program finds its page when started from there.
function(vantu_bundled_portal program)
    file(GLOB_RECURSE portal_files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/portal/*)
    set(copy ${CMAKE_CURRENT_BINARY_DIR}/portal)
    add_custom_command(
        OUTPUT ${copy}.stamp
        COMMAND ${CMAKE_COMMAND} -E rm -rf ${copy}
        COMMAND ${CMAKE_COMMAND} -E copy_directory ${PROJECT_SOURCE_DIR}/portal ${copy}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${copy}/leaflet/images
        COMMAND ${CMAKE_COMMAND} -E copy ${VANTU_LEAFLET_FILES} ${copy}/leaflet/
        COMMAND ${CMAKE_COMMAND} -E copy ${VANTU_LEAFLET_IMAGES} ${copy}/leaflet/images/
        COMMAND ${CMAKE_COMMAND} -E touch ${copy}.stamp
        DEPENDS ${portal_files} ${VANTU_LEAFLET_FILES} ${VANTU_LEAFLET_IMAGES})
    add_custom_target(${program}_portal ALL DEPENDS ${copy}.stamp)
    add_dependencies(${program} ${program}_portal)
endfunction()

# vantu_install_leaflet(DESTINATION): Leaflet's files installed into DESTINATION (the Windows
# packages, which have no system copy to share).
function(vantu_install_leaflet destination)
    install(FILES ${VANTU_LEAFLET_FILES} DESTINATION ${destination})
    install(FILES ${VANTU_LEAFLET_IMAGES} DESTINATION ${destination}/images)
endfunction()
