# What every Windows program we ship carries: the application manifest (cmake/windows/), and a
# signature when a certificate is given.
set(VANTU_SIGN_PKCS12 "" CACHE FILEPATH
    "PKCS#12 file (certificate and key) that signs the Windows programs and installer; empty: unsigned")
set(VANTU_SIGN_PASSWORD_FILE "" CACHE FILEPATH "File holding the password of VANTU_SIGN_PKCS12")
# Without a timestamp a signature stops counting when the certificate expires.
set(VANTU_SIGN_TIMESTAMP_URL "" CACHE STRING
    "RFC 3161 timestamp server that countersigns each signature; empty: not timestamped")
if(VANTU_SIGN_PKCS12)
    find_program(VANTU_OSSLSIGNCODE osslsigncode REQUIRED)
    if(NOT EXISTS "${VANTU_SIGN_PKCS12}" OR NOT EXISTS "${VANTU_SIGN_PASSWORD_FILE}")
        message(FATAL_ERROR "Signing needs VANTU_SIGN_PKCS12 and VANTU_SIGN_PASSWORD_FILE to name existing files")
    endif()
endif()
# Signs the file given as -DFILE=... in place; cpack's installer uses it too.
set(VANTU_SIGN_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/windows/sign.cmake)

function(vantu_windows_program target)
    set(name ${target})
    set(version ${PROJECT_VERSION}.0)
    set(manifest ${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/windows/program.manifest.in ${manifest} @ONLY)
    set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_manifest.rc)
    file(CONFIGURE OUTPUT ${rc} CONTENT "1 24 \"${manifest}\"\n")
    set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${manifest})
    target_sources(${target} PRIVATE ${rc})
    if(VANTU_SIGN_PKCS12)
        # Stripped while linking: stripping the signed file later (cpack) would break the
        # signature.
        target_link_options(${target} PRIVATE -s)
        add_custom_command(TARGET ${target} POST_BUILD
            COMMAND ${CMAKE_COMMAND} -DOSSLSIGNCODE=${VANTU_OSSLSIGNCODE}
                    -DPKCS12=${VANTU_SIGN_PKCS12} -DPASSWORD_FILE=${VANTU_SIGN_PASSWORD_FILE}
                    -DTIMESTAMP=${VANTU_SIGN_TIMESTAMP_URL}
                    -DFILE=$<TARGET_FILE:${target}> -P ${VANTU_SIGN_SCRIPT}
            VERBATIM)
    endif()
endfunction()
