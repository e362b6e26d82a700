# The key that signs updates (see src/platform/signature.h). A build with an update address must
# name its public half: the PEM file `openssl ec -in KEY -pubout` writes, or the base64 line
# inside it. The program gets its point (0x04, X, Y) in hexadecimal as VANTU_UPDATE_KEY_POINT;
# openssl reads the key here, so that a key that is not one fails the configure.
set(VANTU_UPDATE_PUBLIC_KEY "" CACHE STRING
    "Public key of the update signatures (PEM file or its base64); needed with an update address")
set(VANTU_UPDATE_KEY_POINT "")
if(VANTU_UPDATE_MANIFEST_URL AND NOT VANTU_UPDATE_PUBLIC_KEY)
    message(FATAL_ERROR "VANTU_UPDATE_MANIFEST_URL needs VANTU_UPDATE_PUBLIC_KEY: every update is "
        "signed, and the program checks the signature with this key (README.md, Updates)")
endif()
if(VANTU_UPDATE_PUBLIC_KEY)
    find_program(VANTU_OPENSSL openssl REQUIRED)
    set(pem ${VANTU_UPDATE_PUBLIC_KEY})
    if(NOT EXISTS "${pem}")
        set(pem ${CMAKE_BINARY_DIR}/update-public-key.pem)
        file(WRITE ${pem} "-----BEGIN PUBLIC KEY-----\n${VANTU_UPDATE_PUBLIC_KEY}\n"
            "-----END PUBLIC KEY-----\n")
    endif()
    set(der ${CMAKE_BINARY_DIR}/update-public-key.der)
    execute_process(COMMAND ${VANTU_OPENSSL} pkey -pubin -in ${pem} -outform DER -out ${der}
        RESULT_VARIABLE result ERROR_VARIABLE error)
    set(der_hex "")
    if(result EQUAL 0)
        file(READ ${der} der_hex HEX)
    endif()
    # A P-256 key's SubjectPublicKeyInfo: 26 fixed bytes, then the uncompressed point.
    set(prefix 3059301306072a8648ce3d020106082a8648ce3d030107034200)
    string(LENGTH "${der_hex}" length)
    if(NOT length EQUAL 182 OR NOT der_hex MATCHES "^${prefix}04")
        message(FATAL_ERROR "VANTU_UPDATE_PUBLIC_KEY is not the public key of a P-256 key "
            "(openssl ecparam -name prime256v1): ${VANTU_UPDATE_PUBLIC_KEY} ${error}")
    endif()
    string(SUBSTRING "${der_hex}" 52 130 VANTU_UPDATE_KEY_POINT)
endif()
