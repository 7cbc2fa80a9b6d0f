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
add_subdirectory(tools)
add_subdirectory(tests/fuzz)

find_package(benchmark QUIET)
if(benchmark_FOUND)
  add_subdirectory(tests/bench)
endif()

if(ORVELA_WINDOWS)
  # Two cross builds. win32/ (mingw i686) makes the deliverables: the 32-bit
  # plug-in DLLs (tools/release.sh makes the release into dist/). win/ (mingw x86_64) makes the same sources
  # again with the player emulator and the Windows tests, which run under
  # 64-bit Wine: machines whose kernel runs no 32-bit code cannot run the
  # 32-bit build at all, and the 64-bit one tests the same code everywhere.
  set(ORVELA_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  configure_file(${CMAKE_SOURCE_DIR}/tests/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE
                 @ONLY)
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
  orvela_cross_build(windows32 win32 mingw-i686 -DORVELA_WIN_TESTS=OFF)
  orvela_cross_build(windows win mingw-x86_64
    -DORVELA_WINE_RUN=${CMAKE_BINARY_DIR}/wine-run.sh
    -DORVELA_NATIVE_TOOLS=${CMAKE_BINARY_DIR}/tools
    -DORVELA_WIN32_BIN=${CMAKE_BINARY_DIR}/win32/bin
    -DORVELA_TEST_INSTALLER=${CMAKE_BINARY_DIR}/installer/orvela-setup-x64-test.exe)
  # The Windows tests are registered by the sub-project; one ctest run here
  # counts them together with the native ones.
  file(WRITE ${CMAKE_BINARY_DIR}/windows-tests.cmake "subdirs(\"${CMAKE_BINARY_DIR}/win\")\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${CMAKE_BINARY_DIR}/windows-tests.cmake)
  # The installer's script built for 64-bit Windows from the test build's
  # binaries, which the rig can run; tools/release.sh makes the 32-bit one.
  find_program(ORVELA_MAKENSIS makensis)
  if(ORVELA_MAKENSIS)
    set(test_installer ${CMAKE_BINARY_DIR}/installer/orvela-setup-x64-test.exe)
    add_custom_target(test_installer ALL
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/installer
      COMMAND ${ORVELA_MAKENSIS} -V2 -DVERSION=${PROJECT_VERSION} -DTARGET=amd64-unicode
              -DBINARIES=${CMAKE_BINARY_DIR}/win/bin -DOUTFILE=${test_installer}
              ${CMAKE_SOURCE_DIR}/installer/orvela.nsi
      COMMENT "Building the test installer")
    add_dependencies(test_installer windows)
    add_test(NAME installer.silent_install_again_and_uninstall
             COMMAND ${CMAKE_SOURCE_DIR}/tests/installer_test.sh ${test_installer} ${ORVELA_WINEPREFIX})
    set_tests_properties(installer.silent_install_again_and_uninstall PROPERTIES
      ENVIRONMENT "ORVELA_VERSION=${PROJECT_VERSION}" TIMEOUT 300 RESOURCE_LOCK orvela_player)
  endif()

  # Two computers on one link: each story across them, real sound included.
  add_test(NAME lan.two_computers COMMAND ${CMAKE_SOURCE_DIR}/tests/lan_test.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(lan.two_computers PROPERTIES TIMEOUT 420 RUN_SERIAL TRUE)

  # The delivered 32-bit plug-ins export one entry point each, the agent
  # program nothing, and all import only system DLLs.
  add_test(NAME windows.exports_and_imports
           COMMAND ${CMAKE_SOURCE_DIR}/tests/check_dll.sh i686-w64-mingw32-objdump
                   ${CMAKE_BINARY_DIR}/win32/bin/gen_orvela.dll winampGetGeneralPurposePlugin
                   ${CMAKE_BINARY_DIR}/win32/bin/in_orvela.dll winampGetInModule2
                   ${CMAKE_BINARY_DIR}/win32/bin/orvela_agent.exe "")
endif()
