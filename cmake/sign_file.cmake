# Signs one file in place with Authenticode (a program, a library or a
# Windows Installer package):
#   cmake -DOSSLSIGNCODE=... -DPKCS12=... -DPASSWORD_FILE=... [-DTIMESTAMP_URL=...]
#         -P sign_file.cmake <file>
# The signed copy replaces the file only once it is complete, so a failed
# signature leaves no half-written file behind.
math(EXPR last "${CMAKE_ARGC} - 1")
set(file "${CMAKE_ARGV${last}}")
if(NOT EXISTS "${file}")
    message(FATAL_ERROR "sign_file: ${file} does not exist")
endif()

set(timestamp)
if(TIMESTAMP_URL)
    set(timestamp -ts ${TIMESTAMP_URL})
endif()
set(signed "${file}.signed")
file(REMOVE "${signed}")
execute_process(COMMAND ${OSSLSIGNCODE} sign -pkcs12 ${PKCS12} -readpass ${PASSWORD_FILE} -h sha256 -n Sentrel
        ${timestamp} -in ${file} -out ${signed}
    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
    file(REMOVE "${signed}")
    message(FATAL_ERROR "osslsigncode could not sign ${file}:\n${output}")
endif()
file(RENAME "${signed}" "${file}")
