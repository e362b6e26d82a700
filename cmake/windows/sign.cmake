# cmake -DOSSLSIGNCODE=... -DPKCS12=... -DPASSWORD_FILE=... [-DTIMESTAMP=URL] -DFILE=... -P sign.cmake
# Signs a Windows program or installer in place (Authenticode, SHA-256); with TIMESTAMP, the
# signature is countersigned by that RFC 3161 server, so that it stays valid after the
# certificate has expired.
foreach(name OSSLSIGNCODE PKCS12 PASSWORD_FILE FILE)
    if(NOT ${name})
        message(FATAL_ERROR "sign.cmake: ${name} is not given")
    endif()
endforeach()
set(signed "${FILE}.signed")
set(timestamp)
if(TIMESTAMP)
    set(timestamp -ts "${TIMESTAMP}")
endif()
file(REMOVE "${signed}")
execute_process(
    COMMAND "${OSSLSIGNCODE}" sign -pkcs12 "${PKCS12}" -readpass "${PASSWORD_FILE}"
            -n KorvelVantu -h sha256 ${timestamp} -in "${FILE}" -out "${signed}"
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    file(REMOVE "${signed}")
    message(FATAL_ERROR "sign.cmake: ${FILE} was not signed: ${output}")
endif()
file(RENAME "${signed}" "${FILE}")
file(CHMOD "${FILE}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
     WORLD_READ WORLD_EXECUTE)
