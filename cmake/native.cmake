# Native (Linux) half of the build: the portable core under the sanitizers,
# its tests, fuzz targets, benchmarks and the developer tools, plus the
# Windows half built as a sub-project with the mingw toolchain.
include(ExternalProject)
include(GoogleTest)

option(ORVELA_SANITIZE "Build the native code with ASan and UBSan" ON)
option(ORVELA_WINDOWS "Cross-build the Windows binaries too" ON)
if(ORVELA_SANITIZE)
  foreach(t ${ORVELA_CORE})
    get_target_property(type ${t} TYPE)
    if(NOT type STREQUAL "INTERFACE_LIBRARY")
      target_compile_options(${t} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer)
    endif()
  endforeach()
  set(ORVELA_SAN_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
endif()

find_package(GTest REQUIRED)
find_package(Threads REQUIRED)

add_subdirectory(tests/native)
# Every tracked C++ file is as clang-format makes it.
add_test(NAME format.clang_format COMMAND ${CMAKE_SOURCE_DIR}/tests/check_format.sh ${CMAKE_SOURCE_DIR})
# No file includes a folder above its own.
add_test(NAME layout.includes_go_down COMMAND ${CMAKE_SOURCE_DIR}/tests/check_layers.sh ${CMAKE_SOURCE_DIR})
add_test(NAME installer.firewall_rules_cover_the_bound_ports
         COMMAND ${CMAKE_SOURCE_DIR}/tests/firewall_rules_test.sh ${CMAKE_SOURCE_DIR})
add_subdirectory(tools)
add_subdirectory(tests/fuzz)

find_package(benchmark QUIET)
if(benchmark_FOUND)
  add_subdirectory(tests/bench)
endif()

if(ORVELA_WINDOWS)
  # Two cross builds. win32/ (mingw i686) makes the deliverables: the 32-bit
  # plug-in DLLs and agent (tools/release.sh makes the release into dist/).
  # win/ (mingw x86_64) makes the same sources again with the player emulator
  # and the Windows tests. The tests run the delivered 32-bit build wherever
  # this machine runs 32-bit code (found by trying), built again in win32/
  # with the emulator and the tests; elsewhere they run the x86_64 build under
  # 64-bit Wine, which tests the same code.
  execute_process(COMMAND sh ${CMAKE_SOURCE_DIR}/tools/wine-bin/runs-32bit wine
                  RESULT_VARIABLE runs32 OUTPUT_VARIABLE why OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(runs32 EQUAL 0)
    set(test_tree win32)
    set(win32_tests ON)
    set(installer_target x86-unicode)
    set(installer_name orvela-setup-x86-test.exe)
    set(says "Windows tests: the delivered 32-bit build (build/win32) under 32-bit Wine")
  else()
    set(test_tree win)
    set(win32_tests OFF)
    set(installer_target amd64-unicode)
    set(installer_name orvela-setup-x64-test.exe)
    set(says "Windows tests: the x86_64 build (build/win) under 64-bit Wine, as ${why}")
  endif()
  # A 64-bit prefix either way: 32-bit programs run in it as on 64-bit Windows.
  set(ORVELA_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  set(test_bin ${CMAKE_BINARY_DIR}/${test_tree}/bin)
  set(test_installer ${CMAKE_BINARY_DIR}/installer/${installer_name})
  message(STATUS "${says}")
  # tools/test.sh reads which build and prefix the tests use, and says it.
  file(WRITE ${CMAKE_BINARY_DIR}/windows-tests.sh
       "prefix='${ORVELA_WINEPREFIX}'\nbin='${test_bin}'\nsays='${says}'\n")
  configure_file(${CMAKE_SOURCE_DIR}/tests/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE
                 @ONLY)
  set(test_args
    -DORVELA_WINE_RUN=${CMAKE_BINARY_DIR}/wine-run.sh
    -DORVELA_NATIVE_TOOLS=${CMAKE_BINARY_DIR}/tools
    -DORVELA_WIN32_BIN=${CMAKE_BINARY_DIR}/win32/bin
    -DORVELA_TEST_INSTALLER=${test_installer})
  # One cross build per toolchain, each a sub-project of its own.
  function(orvela_cross_build name dir toolchain)
    ExternalProject_Add(${name}
      SOURCE_DIR ${CMAKE_SOURCE_DIR}
      BINARY_DIR ${CMAKE_BINARY_DIR}/${dir}
      CMAKE_ARGS
        -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/${toolchain}.cmake
        -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
        ${ARGN}
      INSTALL_COMMAND ""
      BUILD_ALWAYS ON
      USES_TERMINAL_BUILD ON)
  endfunction()
  orvela_cross_build(windows32 win32 mingw-i686 -DORVELA_WIN_TESTS=${win32_tests} ${test_args})
  # The demo runs the x86_64 build's emulator on every machine.
  orvela_cross_build(windows win mingw-x86_64 ${test_args})
  # The Windows tests are registered by the sub-project that runs them; one
  # ctest run here counts them together with the native ones.
  file(WRITE ${CMAKE_BINARY_DIR}/windows-tests.cmake "subdirs(\"${CMAKE_BINARY_DIR}/${test_tree}\")\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${CMAKE_BINARY_DIR}/windows-tests.cmake)
  # The installer's script built from the tested build's binaries: the x86
  # installer where 32-bit code runs, one for 64-bit Windows elsewhere.
  find_program(ORVELA_MAKENSIS makensis)
  if(ORVELA_MAKENSIS)
    add_custom_target(test_installer ALL
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/installer
      COMMAND ${ORVELA_MAKENSIS} -V2 -DVERSION=${PROJECT_VERSION} -DTARGET=${installer_target}
              -DBINARIES=${test_bin} -DOUTFILE=${test_installer}
              ${CMAKE_SOURCE_DIR}/installer/orvela.nsi
      COMMENT "Building the test installer")
    add_dependencies(test_installer windows windows32)
    add_test(NAME installer.silent_install_again_and_uninstall
             COMMAND ${CMAKE_SOURCE_DIR}/tests/installer_test.sh ${test_installer} ${ORVELA_WINEPREFIX}
                     ${test_bin})
    set_tests_properties(installer.silent_install_again_and_uninstall PROPERTIES
      ENVIRONMENT "ORVELA_VERSION=${PROJECT_VERSION}" TIMEOUT 300)
  endif()

  # Two computers on one link: each story across them, real sound included.
  # It records in real time what it plays, so it runs alone: beside a busy
  # machine's other tests, starved capture lowers the recording's match.
  add_test(NAME lan.two_computers COMMAND ${CMAKE_SOURCE_DIR}/tests/lan_test.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(lan.two_computers PROPERTIES TIMEOUT 420 RUN_SERIAL TRUE
                       ENVIRONMENT "ORVELA_TEST_BIN=${test_bin}")

  # The delivered 32-bit plug-ins export one entry point each, the agent
  # program nothing, and all import only system DLLs.
  add_test(NAME windows.exports_and_imports
           COMMAND ${CMAKE_SOURCE_DIR}/tests/check_dll.sh i686-w64-mingw32-objdump
                   ${CMAKE_BINARY_DIR}/win32/bin/gen_orvela.dll winampGetGeneralPurposePlugin
                   ${CMAKE_BINARY_DIR}/win32/bin/in_orvela.dll winampGetInModule2
                   ${CMAKE_BINARY_DIR}/win32/bin/orvela_agent.exe "")
endif()
