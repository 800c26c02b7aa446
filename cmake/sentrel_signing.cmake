# Authenticode signatures (osslsigncode) for every deliverable, after it is
# linked and before it is packaged, and for the package after wixl.
#
#   SENTREL_SIGN_PKCS12    the code-signing certificate with its key (.p12/.pfx)
#   SENTREL_SIGN_PASSWORD  its password
#   SENTREL_SIGN_CAFILE    the certificates a verification trusts (PEM); by
#                          default the system's authorities
#                          (/etc/ssl/certs/ca-certificates.crt)
#   SENTREL_TIMESTAMP_URL  an RFC 3161 time-stamping server: signatures then
#                          stay valid after the certificate expires
#
# Each is read from the CMake cache, else from the environment when CMake
# configures. Without a certificate the build makes a throw-away one in
# <build>/signing (a root and a code-signing certificate it issued, made
# once per build folder) and signs with it, so that every build goes
# through the same step; its signatures verify only against that root.
#
# The password is written to <build>/signing/password (readable by its
# owner only) and handed to osslsigncode as a file, never on a command line.
#
# Sets SENTREL_SIGN_COMMAND (the command that signs the file appended to
# it) and sentrel_sign_target(<target>). What a verification needs stays in
# <build>/signing for this build's tests and for a 64-bit build that packages
# this build's 32-bit agent: trusted.pem (the certificates it trusts) and
# signer.pem (the certificate that signs).
find_program(SENTREL_OSSLSIGNCODE osslsigncode REQUIRED)
find_program(SENTREL_OPENSSL openssl REQUIRED)

set(SENTREL_SIGN_PKCS12 "" CACHE FILEPATH "The code-signing certificate and key (PKCS#12); empty: a throw-away one")
set(SENTREL_SIGN_CAFILE "" CACHE FILEPATH "The certificates a signature verification trusts (PEM); empty: the system's")
set(SENTREL_TIMESTAMP_URL "" CACHE STRING "An RFC 3161 time-stamping server for the signatures; empty: none")
foreach(setting SENTREL_SIGN_PKCS12 SENTREL_SIGN_PASSWORD SENTREL_SIGN_CAFILE SENTREL_TIMESTAMP_URL)
    if(NOT ${setting} AND DEFINED ENV{${setting}})
        set(${setting} "$ENV{${setting}}")
    endif()
endforeach()

set(SENTREL_SIGNING_DIR ${CMAKE_BINARY_DIR}/signing)
file(MAKE_DIRECTORY ${SENTREL_SIGNING_DIR})
set(SENTREL_SIGN_PASSWORD_FILE ${SENTREL_SIGNING_DIR}/password)

# Writes `text` to `path` with access for its owner only, set before the
# text arrives.
function(sentrel_write_private path text)
    file(TOUCH ${path})
    file(CHMOD ${path} PERMISSIONS OWNER_READ OWNER_WRITE)
    file(WRITE ${path} "${text}")
endfunction()

function(sentrel_openssl)
    execute_process(COMMAND ${SENTREL_OPENSSL} ${ARGN} WORKING_DIRECTORY ${SENTREL_SIGNING_DIR}
        RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE errors)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "openssl ${ARGV0} failed: ${errors}")
    endif()
endfunction()

if(SENTREL_SIGN_PKCS12)
    if(NOT EXISTS ${SENTREL_SIGN_PKCS12})
        message(FATAL_ERROR "SENTREL_SIGN_PKCS12=${SENTREL_SIGN_PKCS12}: no such file")
    endif()
    set(SENTREL_SIGN_KEY ${SENTREL_SIGN_PKCS12})
    sentrel_write_private(${SENTREL_SIGN_PASSWORD_FILE} "${SENTREL_SIGN_PASSWORD}")
    # The certificate that signs, for the verification to compare.
    sentrel_openssl(pkcs12 -in ${SENTREL_SIGN_PKCS12} -passin file:${SENTREL_SIGN_PASSWORD_FILE} -nokeys -clcerts
        -out signer.pem)
    if(NOT SENTREL_SIGN_CAFILE)
        set(SENTREL_SIGN_CAFILE /etc/ssl/certs/ca-certificates.crt)
    endif()
    configure_file(${SENTREL_SIGN_CAFILE} ${SENTREL_SIGNING_DIR}/trusted.pem COPYONLY)
else()
    set(SENTREL_SIGN_KEY ${SENTREL_SIGNING_DIR}/throwaway.p12)
    sentrel_write_private(${SENTREL_SIGN_PASSWORD_FILE} "throw-away")
    if(NOT EXISTS ${SENTREL_SIGN_KEY})
        message(STATUS "Making a throw-away code-signing certificate in ${SENTREL_SIGNING_DIR}")
        sentrel_openssl(req -x509 -newkey rsa:2048 -nodes -keyout root.key -out root.pem -days 3650
            -subj "/O=Corvantis/CN=Sentrel throw-away signing root"
            -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign")
        sentrel_openssl(req -x509 -newkey rsa:2048 -nodes -keyout signer.key -out signer.pem -days 3650
            -subj "/O=Corvantis/CN=Sentrel throw-away code signing" -CA root.pem -CAkey root.key
            -addext "basicConstraints=critical,CA:FALSE" -addext "keyUsage=critical,digitalSignature"
            -addext "extendedKeyUsage=codeSigning")
        sentrel_openssl(pkcs12 -export -inkey signer.key -in signer.pem -certfile root.pem
            -passout file:${SENTREL_SIGN_PASSWORD_FILE} -out throwaway.p12)
        file(REMOVE ${SENTREL_SIGNING_DIR}/root.key ${SENTREL_SIGNING_DIR}/signer.key)
    endif()
    configure_file(${SENTREL_SIGNING_DIR}/root.pem ${SENTREL_SIGNING_DIR}/trusted.pem COPYONLY)
endif()

set(SENTREL_SIGN_COMMAND ${CMAKE_COMMAND} -DOSSLSIGNCODE=${SENTREL_OSSLSIGNCODE} -DPKCS12=${SENTREL_SIGN_KEY}
    -DPASSWORD_FILE=${SENTREL_SIGN_PASSWORD_FILE} "-DTIMESTAMP_URL=${SENTREL_TIMESTAMP_URL}"
    -P ${CMAKE_SOURCE_DIR}/cmake/sign_file.cmake)

# Signs the target's file right after it is linked.
function(sentrel_sign_target target)
    add_custom_command(TARGET ${target} POST_BUILD COMMAND ${SENTREL_SIGN_COMMAND} $<TARGET_FILE:${target}>
        COMMENT "Signing ${target}" VERBATIM)
endfunction()
