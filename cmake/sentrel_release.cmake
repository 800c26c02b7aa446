# The release's identity after project(): the generated version and
# package-code headers (the target sentrel_version gives their folder) and,
# for a Windows build, the package's codes.
#
# Upgrade codes stay the same for every version, one per architecture: the
# 32-bit package keeps the code every earlier release's package carried
# (both architectures then shared it), the 64-bit package has its own.
set(SENTREL_UPGRADE_CODE_X86 "{5B427966-C0F8-441E-B142-6CE31A9F5F77}")
set(SENTREL_UPGRADE_CODE_X64 "{E196F89A-D038-4072-B0FB-E53C8A0708F2}")
# The product code that every earlier release's package carried, at every
# version: its uninstall entry is where those releases and stored settings
# look for "NoRemove".
set(SENTREL_EARLIER_PRODUCT_CODE "{27E397F5-3A9D-4C6F-AB69-670E032DBED9}")

set(SENTREL_GENERATED_INCLUDE ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_SOURCE_DIR}/resources/sentrel_version.h.in ${SENTREL_GENERATED_INCLUDE}/sentrel_version.h @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/resources/package_codes.h.in ${SENTREL_GENERATED_INCLUDE}/package_codes.h @ONLY)
add_library(sentrel_version INTERFACE)
target_include_directories(sentrel_version INTERFACE ${SENTREL_GENERATED_INCLUDE})

if(WIN32)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(SENTREL_PACKAGE_ARCH x64)
        set(SENTREL_UPGRADE_CODE ${SENTREL_UPGRADE_CODE_X64})
    else()
        set(SENTREL_PACKAGE_ARCH x86)
        set(SENTREL_UPGRADE_CODE ${SENTREL_UPGRADE_CODE_X86})
    endif()
    # Each version of each architecture is a product of its own. The code is
    # a name-based UUID of both, so that building the same version again
    # gives the same product (installing it again repairs, never adds one).
    string(UUID SENTREL_PRODUCT_CODE NAMESPACE 50482ac5-775b-40d8-b5af-3de9beb44441
        NAME "Sentrel ${SENTREL_PACKAGE_ARCH} ${SENTREL_VERSION}" TYPE SHA1 UPPER)
    set(SENTREL_PRODUCT_CODE "{${SENTREL_PRODUCT_CODE}}")
endif()
