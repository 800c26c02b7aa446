# Checks the product's one version number (SENTREL_VERSION) before
# project() takes it, and splits it into SENTREL_VERSION_MAJOR, _MINOR,
# _BUILD and _REVISION.
#
# Four numbers a.b.c.d. Every file's VERSIONINFO holds each as 16 bits
# (0-65535); Windows Installer takes the package's ProductVersion as
# major.minor.build with major and minor at most 255 and build at most 65535.
# Windows Installer compares only those first three numbers when it decides
# whether an installed product is older, the same or newer: two releases
# that differ only in the fourth number count as the same version, so each
# release raises one of the first three. The fourth is the build's own
# number, kept in the files' versions and the product code.
if(NOT SENTREL_VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
    message(FATAL_ERROR "SENTREL_VERSION=${SENTREL_VERSION}: the version is four numbers a.b.c.d")
endif()
set(SENTREL_VERSION_PARTS ${CMAKE_MATCH_1} ${CMAKE_MATCH_2} ${CMAKE_MATCH_3} ${CMAKE_MATCH_4})
set(SENTREL_VERSION_LIMITS 255 255 65535 65535)
set(SENTREL_VERSION_NAMES major minor build revision)
foreach(index RANGE 3)
    list(GET SENTREL_VERSION_PARTS ${index} part)
    list(GET SENTREL_VERSION_LIMITS ${index} limit)
    list(GET SENTREL_VERSION_NAMES ${index} name)
    # No leading zeros: "2.05.5.10" would be another spelling of a version
    # Windows Installer reads as 2.5.5.
    if(part MATCHES "^0[0-9]" OR part MATCHES "[0-9][0-9][0-9][0-9][0-9][0-9]" OR part GREATER limit)
        message(FATAL_ERROR "SENTREL_VERSION=${SENTREL_VERSION}: the ${name} number is 0 to ${limit}, "
            "written without leading zeros")
    endif()
endforeach()
list(GET SENTREL_VERSION_PARTS 0 SENTREL_VERSION_MAJOR)
list(GET SENTREL_VERSION_PARTS 1 SENTREL_VERSION_MINOR)
list(GET SENTREL_VERSION_PARTS 2 SENTREL_VERSION_BUILD)
list(GET SENTREL_VERSION_PARTS 3 SENTREL_VERSION_REVISION)
