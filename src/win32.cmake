# The product: one PE32 GUI exe, small, importing only system DLLs.
enable_language(RC)

set(KOVA_PRODUCT_COMPILE_OPTIONS -Os -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
    -ffunction-sections -fdata-sections)
target_compile_options(kova_core PRIVATE ${KOVA_PRODUCT_COMPILE_OPTIONS})

# The OS-facing shell: thin functions over the portable core.
set(KOVA_WIN32_SOURCES
  platform/os_seam.cpp
  platform/system_library.cpp
  platform/file_handle.cpp
  platform/os_version.cpp
  platform/wininet_library.cpp
  platform/deadline_job.cpp
  platform/final_path.cpp
  platform/path_text.cpp
  bootstrap/user_data_folder.cpp
  bootstrap/package_path_win32.cpp
  bootstrap/fatal_message_win32.cpp
  bootstrap/package_extraction.cpp
  bootstrap/engine.cpp
  bootstrap/main_sequence.cpp
  bootstrap/languages_win32.cpp
  settings/registry_key.cpp
  settings/vendor_key.cpp
  settings/policy_key.cpp
  settings/user_auto_update.cpp
  reporting/http_exchange.cpp
  reporting/country_lookup.cpp
  descriptor/descriptor_fetch.cpp
  settings/client_facts_win32.cpp
  reporting/status_log_win32.cpp
  reporting/status_report_win32.cpp
)
add_library(kova_win32 STATIC ${KOVA_WIN32_SOURCES})
target_link_libraries(kova_win32 PUBLIC kova_core advapi32 shell32 user32 kernel32)
target_compile_options(kova_win32 PRIVATE ${KOVA_WARNINGS} ${KOVA_PRODUCT_COMPILE_OPTIONS})
target_compile_definitions(kova_win32 PUBLIC WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0501)

# The sample runtime package, built with wixl, unless another .msi is named.
set(KOVA_PACKAGE_MSI "" CACHE FILEPATH "An .msi to embed instead of the sample package")
set(KOVA_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
if(KOVA_PACKAGE_MSI)
  set(KOVA_PACKAGE ${KOVA_PACKAGE_MSI})
else()
  set(KOVA_PACKAGE ${CMAKE_BINARY_DIR}/packaging/krt-sample.msi)
  file(GLOB KOVA_PACKAGE_FILES CONFIGURE_DEPENDS ${KOVA_PACKAGING_DIR}/files/*)
  add_custom_command(
    OUTPUT ${KOVA_PACKAGE}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
    # wixl with the package code, the times and the file dates made fixed,
    # so that every build of a commit embeds the same bytes.
    COMMAND /usr/bin/python3 ${PROJECT_SOURCE_DIR}/scripts/build_sample_package.py ${KOVA_PACKAGE}
            ${KOVA_PACKAGING_DIR} 6B6F7661-0003-4000-8000-000000000607
    DEPENDS ${KOVA_PACKAGING_DIR}/sample-runtime.wxs ${KOVA_PACKAGE_FILES}
            ${PROJECT_SOURCE_DIR}/scripts/build_sample_package.py
    COMMENT "Building the sample runtime package with wixl"
    VERBATIM)
endif()
add_custom_target(kova_package DEPENDS ${KOVA_PACKAGE})

# The icon is drawn by a script so no binary art is kept.
set(KOVA_ICON ${CMAKE_BINARY_DIR}/resources/kova.ico)
add_custom_command(
  OUTPUT ${KOVA_ICON}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/resources
  COMMAND python3 ${PROJECT_SOURCE_DIR}/scripts/make_icon.py ${KOVA_ICON}
  DEPENDS ${PROJECT_SOURCE_DIR}/scripts/make_icon.py
  VERBATIM)

set(KOVA_MANIFEST ${PROJECT_SOURCE_DIR}/resources/krt.manifest)
set(KOVA_STRINGS_RC ${PROJECT_SOURCE_DIR}/resources/strings.rc)

# The entry point's linker name: i686 decorates a __stdcall symbol, x86-64 does not.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(KOVA_ENTRY_SYMBOL _KovaStartup@0)
else()
  set(KOVA_ENTRY_SYMBOL KovaStartup)
endif()

# The product's code as one translation unit compiled with -fwhole-program:
# every function but the entry point is then local to it, so the compiler
# inlines what is called once, drops what is never called and passes
# arguments in registers between local functions. (Link-time optimisation
# would do the same, but mingw-w64's ld crashes with it.) The libraries above
# are the same sources for the tests.
set(KOVA_UNITY_SOURCE ${CMAKE_CURRENT_BINARY_DIR}/krt_product_unity.cpp)
set(_kova_unity_text "// Generated: the product's sources as one translation unit.\n")
foreach(source IN LISTS KOVA_CORE_SOURCES KOVA_WIN32_SOURCES ITEMS bootstrap/winmain.cpp)
  string(APPEND _kova_unity_text "#include \"${source}\"\n")
endforeach()
file(CONFIGURE OUTPUT ${KOVA_UNITY_SOURCE} CONTENT "${_kova_unity_text}")
add_library(kova_product_code OBJECT ${KOVA_UNITY_SOURCE})
target_include_directories(kova_product_code PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_definitions(kova_product_code PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX
                           _WIN32_WINNT=0x0501)
# The size policy. The stub (the exe with an empty package, no icon) must
# stay within 26,624 bytes, and the code stays plain: what makes it small is
# said here, once, and not in the sources. Each section is stored in 512-byte
# steps, so a saving shows in the file only when it crosses one. What each
# flag saves, as .text measured on the i686 stub without it:
#  -fwhole-program (with the unity source above)  about 2.8 KB, and 5 KB of file
#  -mno-stack-arg-probe -fstack-clash-protection  about 2 KB (see below)
#  -fomit-frame-pointer                           about 0.9 KB
#  -mpreferred-stack-boundary=2 (i686)            about 0.85 KB
#  -Oz rather than -Os                            about 180 bytes, a 512-byte step
#  -fno-tree-loop-distribute-patterns             about 80 bytes and one import
#  -malign-data=abi                               about 160 bytes of .rdata and 76 of
#                                                 .bss, a 512-byte step: arrays of 32
#                                                 bytes or more keep their elements'
#                                                 alignment instead of 32
#  -fno-asynchronous-unwind-tables                6 KB of .eh_frame, never used
# The start-up, the link and the finished layout (kova_add_bootstrapper and
# scripts/finish_image.py) take the rest.
# No -fdata-sections here: with it mingw-w64's compiler puts zero-initialised
# data in .data$ sections with file bytes instead of .bss, and one translation
# unit needs no per-function sections to drop code. -fconserve-stack is left
# out: it cost about 100 bytes, and the one large frame it kept apart (the
# 64 KB verifying buffer) is on the main thread either way, while the network
# steps run on threads of their own.
# Stack probes: a frame larger than a page must touch each page in order, or
# it would step past the guard page that grows a Windows thread's stack. The
# target's own way (-mstack-arg-probe, a call to ___chkstk_ms) forces
# -maccumulate-outgoing-args on every function; -fstack-clash-protection
# probes the few large frames inline instead, page by page, and leaves the
# arguments pushed.
target_compile_options(kova_product_code PRIVATE ${KOVA_WARNINGS} -Oz -fno-exceptions -fno-rtti
                       -fno-asynchronous-unwind-tables -fomit-frame-pointer -fwhole-program
                       -fno-tree-loop-distribute-patterns
                       -malign-data=abi -mno-stack-arg-probe -fstack-clash-protection)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  # Windows keeps the i686 stack 4-byte aligned, and no code here needs more,
  # so the compiler need not realign it or pad frames to 16 bytes.
  target_compile_options(kova_product_code PRIVATE -mpreferred-stack-boundary=2)
endif()

# kova_add_bootstrapper(<target> <output name> <package file or ""> [NO_ICON])
function(kova_add_bootstrapper target output_name package)
  if("NO_ICON" IN_LIST ARGN)
    set(KOVA_ICON_LINE "// no icon")
  else()
    set(KOVA_ICON_LINE "114 ICON \"${KOVA_ICON}\"")
  endif()
  if(package)
    set(KOVA_PACKAGE_LINE "101 KOVA_INSTALLER \"${package}\"")
  else()
    set(KOVA_PACKAGE_LINE "// no package resource")
  endif()
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/resources/krt.rc.in ${rc} @ONLY)
  # windres compiles the resources to a .res file, and the object is made from
  # that by our own script, which stores identical resources once: the ten
  # languages' copies of the string table become one.
  set(res ${CMAKE_CURRENT_BINARY_DIR}/${target}.res)
  set(res_obj ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.obj)
  add_custom_command(
    OUTPUT ${res_obj}
    COMMAND ${CMAKE_RC_COMPILER} -DNOMINMAX -DWIN32_LEAN_AND_MEAN -D_WIN32_WINNT=0x0501
            -I ${CMAKE_CURRENT_SOURCE_DIR} --use-temp-file -O res ${rc} ${res}
    COMMAND /usr/bin/python3 ${PROJECT_SOURCE_DIR}/scripts/make_resource_object.py
            --machine ${CMAKE_SYSTEM_PROCESSOR} ${res} ${res_obj}
    COMMAND ${CMAKE_COMMAND} -E remove ${res}
    DEPENDS ${rc} ${package} ${KOVA_ICON} ${KOVA_MANIFEST} ${KOVA_STRINGS_RC}
            ${PROJECT_SOURCE_DIR}/scripts/make_resource_object.py
    VERBATIM)
  add_executable(${target} WIN32 $<TARGET_OBJECTS:kova_product_code> ${res_obj})
  # No wininet: it is loaded at run time from the system folder (wininet_library.h).
  target_link_libraries(${target} PRIVATE advapi32 user32 kernel32)
  target_link_options(${target} PRIVATE -nostartfiles -Wl,-e,${KOVA_ENTRY_SYMBOL}
    -static-libgcc -static-libstdc++ -s
    -Wl,--gc-sections -Wl,--dynamicbase -Wl,--nxcompat -Wl,--no-insert-timestamp
    -Wl,-Map,${CMAKE_CURRENT_BINARY_DIR}/${output_name}.map)
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${output_name}
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  # The image laid out compactly (no DOS stub program, the relocations in the
  # resource section, a large package page-aligned): see the script. Signing,
  # when configured, comes after this.
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND /usr/bin/python3 ${PROJECT_SOURCE_DIR}/scripts/finish_image.py $<TARGET_FILE:${target}>
    VERBATIM)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS
    ${PROJECT_SOURCE_DIR}/scripts/finish_image.py)
  add_dependencies(${target} kova_package)
endfunction()

kova_add_bootstrapper(krt_bootstrapper krt-1.6.0_07-windows-i586 ${KOVA_PACKAGE})

# Authenticode signing of the product, when a certificate is given (cache
# variables, or the environment variables of the same names at configure time).
foreach(var KOVA_SIGN_PKCS12 KOVA_SIGN_PASSWORD_FILE KOVA_SIGN_TIMESTAMP_URL)
  if(NOT DEFINED ${var} AND DEFINED ENV{${var}})
    set(${var} "$ENV{${var}}")
  endif()
  set(${var} "${${var}}" CACHE STRING "Signing: ${var}")
endforeach()
if(KOVA_SIGN_PKCS12 AND KOVA_SIGN_PASSWORD_FILE)
  message(STATUS "The product is signed with ${KOVA_SIGN_PKCS12}")
  add_custom_command(TARGET krt_bootstrapper POST_BUILD
    COMMAND ${PROJECT_SOURCE_DIR}/scripts/sign.sh $<TARGET_FILE:krt_bootstrapper>
            ${KOVA_SIGN_PKCS12} ${KOVA_SIGN_PASSWORD_FILE} ${KOVA_SIGN_TIMESTAMP_URL}
    VERBATIM)
else()
  message(STATUS "The product is built unsigned: no KOVA_SIGN_PKCS12 and KOVA_SIGN_PASSWORD_FILE")
endif()
# For tests: the same exe without the package resource.
kova_add_bootstrapper(krt_nopackage krt-nopackage "")
# For size measurements: the exe with an empty package, with and without the icon.
file(WRITE ${CMAKE_BINARY_DIR}/packaging/empty.msi "")
kova_add_bootstrapper(krt_emptypackage krt-emptypackage ${CMAKE_BINARY_DIR}/packaging/empty.msi)
kova_add_bootstrapper(krt_emptypackage_noicon krt-emptypackage-noicon
  ${CMAKE_BINARY_DIR}/packaging/empty.msi NO_ICON)
