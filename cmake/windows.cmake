# Windows half of the build (mingw-w64 i686): the two plug-in DLLs, the
# player emulator and the Windows tests, which ctest runs under Wine.
option(ORVELA_WIN_TESTS "Build the player emulator and the Windows tests" ON)
set(ORVELA_WINE_RUN "" CACHE FILEPATH "Wrapper that runs a Windows program under Wine")
set(ORVELA_WIN32_BIN "" CACHE PATH "The delivered 32-bit build's binaries, for the version test")
set(ORVELA_TEST_INSTALLER "" CACHE FILEPATH "The test installer, for the version test")
if(ORVELA_WINE_RUN)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ORVELA_WINE_RUN})
endif()

include(GoogleTest)
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# No mingw runtime DLL may be imported: everything links statically.
set(ORVELA_STATIC -static -static-libgcc -static-libstdc++)
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0501)

# The Win32 shell files (and resource scripts) of the given subsystems.
function(orvela_shell_sources out)
  set(src)
  foreach(dir ${ARGN})
    orvela_sources(s ${dir} win)
    file(GLOB rc CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.rc)
    list(APPEND src ${s} ${rc})
  endforeach()
  set(${out} ${src} PARENT_SCOPE)
endfunction()

# A version resource for a binary, from cmake/version.rc.in; a program's
# also holds cmake/program.manifest.
function(orvela_version_resource target file description type)
  set(ORVELA_MANIFEST "")
  if(type STREQUAL "VFT_APP")
    set(ORVELA_MANIFEST "1 24 \"${CMAKE_SOURCE_DIR}/cmake/program.manifest\"")
  endif()
  set(ORVELA_FILE_NAME ${file})
  set(ORVELA_FILE_DESCRIPTION ${description})
  set(ORVELA_FILE_TYPE ${type})
  configure_file(${CMAKE_SOURCE_DIR}/cmake/version.rc.in ${CMAKE_BINARY_DIR}/version/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_BINARY_DIR}/version/${target}.rc)
endfunction()

function(orvela_plugin name def)
  orvela_shell_sources(src ${ARGN})
  add_library(${name} SHARED ${src} ${CMAKE_SOURCE_DIR}/${def})
  set_target_properties(${name} PROPERTIES PREFIX "" OUTPUT_NAME ${name})
  target_link_libraries(${name} PRIVATE ${ORVELA_CORE} ${ORVELA_STATIC} -Wl,--enable-stdcall-fixup)
endfunction()

set(GEN_ORVELA_DIRS gen_orvela browser peers scrollskin player wire base)
orvela_plugin(gen_orvela gen_orvela/gen_orvela.def ${GEN_ORVELA_DIRS})
target_link_libraries(gen_orvela PRIVATE ws2_32 comctl32 gdi32 user32 shell32)
orvela_version_resource(gen_orvela gen_orvela.dll "Orvela LAN browser for Winamp" VFT_DLL)
set(IN_ORVELA_DIRS in_orvela instream)
orvela_plugin(in_orvela in_orvela/in_orvela.def ${IN_ORVELA_DIRS})
target_link_libraries(in_orvela PRIVATE ws2_32 msacm32 winmm)
orvela_version_resource(in_orvela in_orvela.dll "Orvela stream input for Winamp" VFT_DLL)

# The agent program: its own shell, the now-playing block's mapping that it
# opens like gen_orvela does, and the private-profile store of the settings.
orvela_shell_sources(agent_src orvela_agent agent wire base)
# (orvela_agent is the name of its portable core's library.)
add_executable(agent_program WIN32 ${agent_src} ${CMAKE_SOURCE_DIR}/player/nowplaying_win.cpp)
set_target_properties(agent_program PROPERTIES OUTPUT_NAME orvela_agent)
target_link_libraries(agent_program PRIVATE ${ORVELA_CORE} ${ORVELA_STATIC}
                      ws2_32 user32 shell32 advapi32 ole32 uuid wtsapi32 comctl32)
orvela_version_resource(agent_program orvela_agent.exe "Orvela agent" VFT_APP)

if(ORVELA_WIN_TESTS)
  add_subdirectory(tests/emulator)
  add_subdirectory(tests/windows)
  add_subdirectory(tests/bench)
endif()

# The installer's helper that starts the agent as the logged-on user.
add_executable(start_as_user WIN32 ${CMAKE_SOURCE_DIR}/installer/start_as_user_win.cpp)
target_include_directories(start_as_user PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(start_as_user PRIVATE ${ORVELA_STATIC} shell32 advapi32 userenv)
orvela_version_resource(start_as_user start_as_user.exe "Orvela agent starter" VFT_APP)
