# Windows half of the build (mingw-w64 i686): the two plug-in DLLs, the
# player emulator and the Windows tests, which ctest runs under Wine.
set(ORVELA_DIST "" CACHE PATH "Where the plug-in DLLs are copied (none when empty)")
option(ORVELA_WIN_TESTS "Build the player emulator and the Windows tests" ON)
set(ORVELA_WINE_RUN "" CACHE FILEPATH "Wrapper that runs a Windows program under Wine")
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

function(orvela_plugin name def)
  orvela_shell_sources(src ${ARGN})
  add_library(${name} SHARED ${src} ${CMAKE_SOURCE_DIR}/${def})
  set_target_properties(${name} PROPERTIES PREFIX "" OUTPUT_NAME ${name})
  target_link_libraries(${name} PRIVATE ${ORVELA_CORE} ${ORVELA_STATIC} -Wl,--enable-stdcall-fixup)
  if(ORVELA_DIST)
    add_custom_command(TARGET ${name} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E make_directory ${ORVELA_DIST}
      COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${name}> ${ORVELA_DIST}/)
  endif()
endfunction()

set(GEN_ORVELA_DIRS host ui net scrollskin)
orvela_plugin(gen_orvela host/gen_orvela.def ${GEN_ORVELA_DIRS})
target_link_libraries(gen_orvela PRIVATE ws2_32 comctl32 gdi32 user32 shell32)
orvela_plugin(in_orvela instream/in_orvela.def instream)
target_link_libraries(in_orvela PRIVATE ws2_32 msacm32 winmm)

# The agent program: its own shell, the now-playing block's mapping that it
# opens like gen_orvela does, and the private-profile store of the settings.
orvela_shell_sources(agent_src agent)
# (orvela_agent is the name of its portable core's library.)
add_executable(agent_program WIN32 ${agent_src} ${CMAKE_SOURCE_DIR}/host/nowplaying_win.cpp
                                   ${CMAKE_SOURCE_DIR}/ui/settings_win.cpp)
set_target_properties(agent_program PROPERTIES OUTPUT_NAME orvela_agent)
target_link_libraries(agent_program PRIVATE ${ORVELA_CORE} ${ORVELA_STATIC}
                      ws2_32 user32 shell32 advapi32 ole32 uuid)
if(ORVELA_DIST)
  add_custom_command(TARGET agent_program POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory ${ORVELA_DIST}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:agent_program> ${ORVELA_DIST}/)
endif()

if(ORVELA_WIN_TESTS)
  add_subdirectory(tests/emulator)
  add_subdirectory(tests/windows)
endif()
