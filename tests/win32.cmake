# Win32 tests of the OS-facing shell (run under Wine), and the tools the
# end-to-end tests use. Everything lands in bin/ beside the product.
set(KOVA_BIN ${CMAKE_BINARY_DIR}/bin)
set_target_properties(kova_core_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${KOVA_BIN})
target_link_options(kova_core_tests PRIVATE -static)

# Package resources of known sizes for the extraction tests.
set(KOVA_TEST_BLOBS ${CMAKE_BINARY_DIR}/test-blobs)
set(KOVA_TEST_LARGE ${KOVA_TEST_BLOBS}/large.bin)
set(KOVA_TEST_ODD ${KOVA_TEST_BLOBS}/odd.bin)
set(KOVA_TEST_EMPTY ${KOVA_TEST_BLOBS}/empty.bin)
add_custom_command(
  OUTPUT ${KOVA_TEST_LARGE} ${KOVA_TEST_ODD} ${KOVA_TEST_EMPTY}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${KOVA_TEST_BLOBS}
  COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/tools/make_test_blob.py ${KOVA_TEST_LARGE} 15857152
  COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/tools/make_test_blob.py ${KOVA_TEST_ODD} 20000
  COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/tools/make_test_blob.py ${KOVA_TEST_EMPTY} 0
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tools/make_test_blob.py
  VERBATIM)
configure_file(tools/test_resources.rc.in ${CMAKE_CURRENT_BINARY_DIR}/test_resources.rc @ONLY)
set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/test_resources.rc PROPERTIES
  OBJECT_DEPENDS "${KOVA_TEST_LARGE};${KOVA_TEST_ODD};${KOVA_TEST_EMPTY}")

set(KOVA_WIN32_TEST_SOURCES
  platform/win32_test_support.cpp
  platform/fake_windows_version.cpp
  platform/dll_search_win32_test.cpp
  bootstrap/package_path_win32_test.cpp
  bootstrap/package_extraction_win32_test.cpp
  bootstrap/engine_win32_test.cpp
  bootstrap/languages_win32_test.cpp
  settings/registry_settings_win32_test.cpp
  reporting/simulator_client.cpp
  reporting/network_test_support.cpp
  reporting/http_exchange_win32_test.cpp
  reporting/country_lookup_win32_test.cpp
  descriptor/descriptor_fetch_win32_test.cpp
  settings/client_facts_win32_test.cpp
  reporting/status_log_win32_test.cpp
  reporting/status_report_win32_test.cpp
)
add_executable(kova_win32_tests ${KOVA_WIN32_TEST_SOURCES}
  ${CMAKE_CURRENT_BINARY_DIR}/test_resources.rc)
target_include_directories(kova_win32_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(kova_win32_tests PRIVATE kova_win32 gtest_main shell32 wininet)
target_compile_options(kova_win32_tests PRIVATE ${KOVA_WARNINGS})
target_link_options(kova_win32_tests PRIVATE -static)
set_target_properties(kova_win32_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${KOVA_BIN})
add_dependencies(kova_win32_tests engine_standin krt_bootstrapper)
add_test(NAME win32_tests COMMAND kova_win32_tests)
# The network tests once more, with the vendor services simulator as WinINet's proxy.
add_test(NAME win32_network_tests
  COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/tools/simulator.py run -- ${CMAKE_CROSSCOMPILING_EMULATOR}
    $<TARGET_FILE:kova_win32_tests> --gtest_filter=HttpExchangeTest.*:CountryLookupTest.*:DescriptorFetchTest.*:StatusReportTest.*)

# Tools.
function(kova_add_tool target)
  add_executable(${target} ${ARGN})
  target_link_options(${target} PRIVATE -static)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${KOVA_BIN})
endfunction()
kova_add_tool(launcher tools/launcher.cpp)
target_link_libraries(launcher PRIVATE psapi)
kova_add_tool(engine_standin tools/engine_standin.cpp)
kova_add_tool(load_library tools/load_library.cpp)
kova_add_tool(tamper tools/tamper.cpp)
kova_add_tool(engine_starter tools/engine_starter.cpp)

add_library(canary SHARED tools/canary.cpp)
target_link_options(canary PRIVATE -static)
set_target_properties(canary PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${KOVA_BIN})

add_library(msi_stub SHARED tools/msi_stub.cpp tools/msi_stub.rc)
target_link_options(msi_stub PRIVATE -static)
set_target_properties(msi_stub PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${KOVA_BIN})

add_library(version_canary SHARED tools/version_canary.cpp)
target_link_options(version_canary PRIVATE -static -Wl,--kill-at)
set_target_properties(version_canary PROPERTIES PREFIX "" OUTPUT_NAME version
  RUNTIME_OUTPUT_DIRECTORY ${KOVA_BIN}/planted)

# Not a test: what writing and verifying the package costs (scripts/bench.py).
add_executable(extraction_bench tools/extraction_bench.cpp ${CMAKE_CURRENT_BINARY_DIR}/test_resources.rc)
target_link_libraries(extraction_bench PRIVATE kova_win32)
target_link_options(extraction_bench PRIVATE -static)
set_target_properties(extraction_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${KOVA_BIN})
