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

# The page's other libraries, the map editor and the profile chart, come from npm at pinned
# versions (scripts/page-libraries.sh, run here when they are missing) into its lib/ folder, in
# every package: Debian has neither at these versions. Never committed either.
set(VANTU_PAGE_LIBRARIES_DIR ${PROJECT_SOURCE_DIR}/build/page-libraries/node_modules CACHE PATH
    "The page's npm libraries (leaflet-editable/, chart.js/), as scripts/page-libraries.sh installs them")
set(VANTU_PAGE_LIBRARY_FILES ${VANTU_PAGE_LIBRARIES_DIR}/leaflet-editable/src/Leaflet.Editable.js
    ${VANTU_PAGE_LIBRARIES_DIR}/chart.js/dist/Chart.min.js)
foreach(library IN LISTS VANTU_PAGE_LIBRARY_FILES)
    if(NOT EXISTS ${library})
        execute_process(COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/page-libraries.sh
                        RESULT_VARIABLE installed)
        if(NOT EXISTS ${library})
            message(FATAL_ERROR "No ${library}: scripts/page-libraries.sh could not install the "
                "page's libraries from npm (${installed}), or set VANTU_PAGE_LIBRARIES_DIR")
        endif()
    endif()
endforeach()

# vantu_bundled_portal(PROGRAM): a copy of the bundled start page (portal/) with Leaflet in its
# leaflet/ folder and the other libraries in lib/ beside PROGRAM in the build tree, kept up to
# date with its sources, so that the program finds its page when started from there.
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
        COMMAND ${CMAKE_COMMAND} -E make_directory ${copy}/lib
        COMMAND ${CMAKE_COMMAND} -E copy ${VANTU_PAGE_LIBRARY_FILES} ${copy}/lib/
        COMMAND ${CMAKE_COMMAND} -E touch ${copy}.stamp
        DEPENDS ${portal_files} ${VANTU_LEAFLET_FILES} ${VANTU_LEAFLET_IMAGES}
                ${VANTU_PAGE_LIBRARY_FILES})
    add_custom_target(${program}_portal ALL DEPENDS ${copy}.stamp)
    add_dependencies(${program} ${program}_portal)
endfunction()

# vantu_install_leaflet(DESTINATION): Leaflet's files installed into DESTINATION (the Windows
# packages, which have no system copy to share).
function(vantu_install_leaflet destination)
    install(FILES ${VANTU_LEAFLET_FILES} DESTINATION ${destination})
    install(FILES ${VANTU_LEAFLET_IMAGES} DESTINATION ${destination}/images)
endfunction()

# vantu_install_page_libraries(DESTINATION): the map editor and the chart installed into
# DESTINATION (the page's lib/ folder, in every package).
function(vantu_install_page_libraries destination)
    install(FILES ${VANTU_PAGE_LIBRARY_FILES} DESTINATION ${destination})
endfunction()
