# The 32-bit Windows build: the engine (capture/win), the shell (app/win, view/win, lang/win) on
# the window framework (framework/win), the platform helpers (base/win) and the resources
# (res/win), linked into one statically linked GUI program, kovracam.exe.
enable_language(RC)
# The conversion tables must come out bit-identical to the Linux build's: plain double arithmetic
# in SSE registers (not x87's wider ones; every CPU Windows runs on today has SSE2) and no fused
# multiply-add. For every target, so that the tests compute as the product does.
add_compile_options(-Wall -Wextra -Wpedantic -ffp-contract=off -msse2 -mfpmath=sse)
include(ExternalProject)

# The string compiler runs at build time, so it is built for the build machine.
set(HOST_TOOLS_DIR ${CMAKE_BINARY_DIR}/host-tools)
set(HOST_STRBLK ${HOST_TOOLS_DIR}/strblk)
ExternalProject_Add(host_tools
  SOURCE_DIR ${CMAKE_SOURCE_DIR}/tools/host
  BINARY_DIR ${HOST_TOOLS_DIR}
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${HOST_STRBLK})

# Generated resource inputs: the command ids as #defines, the string table, the icon.
set(RES_OUT ${CMAKE_BINARY_DIR}/res)
file(MAKE_DIRECTORY ${RES_OUT})
add_custom_command(OUTPUT ${RES_OUT}/command_ids.rc.h
  COMMAND ${CMAKE_COMMAND} -DIN=${CMAKE_SOURCE_DIR}/res/command_ids.h
    -DOUT=${RES_OUT}/command_ids.rc.h -P ${CMAKE_SOURCE_DIR}/res/win/command_ids.cmake
  DEPENDS ${CMAKE_SOURCE_DIR}/res/command_ids.h ${CMAKE_SOURCE_DIR}/res/win/command_ids.cmake)
add_custom_command(OUTPUT ${RES_OUT}/strings.rc
  COMMAND ${HOST_STRBLK} rc ${CMAKE_SOURCE_DIR}/res/strings.txt ${RES_OUT}/strings.rc
  DEPENDS host_tools ${HOST_STRBLK} ${CMAKE_SOURCE_DIR}/res/strings.txt)
find_program(IMAGEMAGICK_CONVERT convert REQUIRED)
add_custom_command(OUTPUT ${RES_OUT}/kovracam.ico
  COMMAND ${IMAGEMAGICK_CONVERT} ${CMAKE_SOURCE_DIR}/res/kovracam.png
    -define icon:auto-resize=64,48,32,16 ${RES_OUT}/kovracam.ico
  DEPENDS ${CMAKE_SOURCE_DIR}/res/kovracam.png)
# The same strings as compiled blocks: the count of the user-interface texts.
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/program_string_blocks.cpp
  COMMAND ${HOST_STRBLK} cpp ${CMAKE_SOURCE_DIR}/res/strings.txt
    ${CMAKE_BINARY_DIR}/program_string_blocks.cpp
  DEPENDS host_tools ${HOST_STRBLK} ${CMAKE_SOURCE_DIR}/res/strings.txt)
set(GENERATED_RESOURCES ${RES_OUT}/command_ids.rc.h ${RES_OUT}/strings.rc ${RES_OUT}/kovracam.ico)
set_source_files_properties(res/win/kovracam.rc PROPERTIES OBJECT_DEPENDS
  "${GENERATED_RESOURCES};${CMAKE_SOURCE_DIR}/res/banner.bmp;${CMAKE_SOURCE_DIR}/res/win/kovracam.manifest;${CMAKE_SOURCE_DIR}/res/win/about_dialog.rc")

# version_resource(<target> <file name> <description> <VFT_APP or VFT_DLL>): the target's version
# resource, its file and product version the project's.
set(VERSION_NUMBERS ${PROJECT_VERSION_MAJOR})
foreach(part MINOR PATCH TWEAK)
  if(PROJECT_VERSION_${part} STREQUAL "")
    string(APPEND VERSION_NUMBERS ",0")
  else()
    string(APPEND VERSION_NUMBERS ",${PROJECT_VERSION_${part}}")
  endif()
endforeach()
function(version_resource target file_name description file_type)
  set(VERSION_NAME ${target})
  set(VERSION_FILE_NAME ${file_name})
  set(VERSION_DESCRIPTION ${description})
  set(VERSION_FILE_TYPE ${file_type})
  configure_file(${CMAKE_SOURCE_DIR}/res/win/version.rc.in ${RES_OUT}/${target}_version.rc @ONLY)
  target_sources(${target} PRIVATE ${RES_OUT}/${target}_version.rc)
endfunction()

add_subdirectory(capture/win)

# The platform-neutral code the shell uses.
# (base/utf16.cpp and base/win/ come with the engine's library.)
set(SHELL_SHARED_SOURCES app/menu_rules.cpp lang/ui_text_table.cpp lang/string_table.cpp
  view/device_choice_bytes.cpp view/snapshot_file.cpp ${CMAKE_BINARY_DIR}/program_string_blocks.cpp)
file(GLOB SHELL_SOURCES CONFIGURE_DEPENDS framework/win/*.cpp app/win/*.cpp view/win/*.cpp
  lang/win/*.cpp)
file(GLOB SHELL_HEADERS CONFIGURE_DEPENDS framework/win/*.h app/win/*.h view/win/*.h lang/win/*.h)
add_executable(kovracam WIN32 ${SHELL_SOURCES} ${SHELL_HEADERS} ${SHELL_SHARED_SOURCES}
  res/win/kovracam.rc)
add_custom_target(kovracam_generated_resources DEPENDS ${GENERATED_RESOURCES})
add_dependencies(kovracam kovracam_generated_resources)
target_include_directories(kovracam PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/res
  ${CMAKE_SOURCE_DIR}/res/win ${RES_OUT})
target_compile_definitions(kovracam PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
  _WIN32_WINNT=0x0601)
# -static: libstdc++, libgcc and winpthread go into the program; it needs only system DLLs.
version_resource(kovracam kovracam.exe "KOVRACAM camera app" VFT_APP)
target_link_options(kovracam PRIVATE -municode -static)
target_link_libraries(kovracam PRIVATE kovracam_win_capture comctl32 comdlg32 ole32 oleaut32 gdiplus gdi32
  user32 kernel32)

if(KOVRACAM_BENCH)
  add_subdirectory(bench/win)
endif()

add_subdirectory(res/lang/win)

option(KOVRACAM_TESTS "Build the tests" ON)
if(KOVRACAM_TESTS)
  enable_testing()
  # Draws the texts expected, for the window test to compare the program's pixels with.
  add_executable(kovracam_reference_window WIN32 tests/ui/win/reference_window.cpp
    tests/ui/win/reference_window.rc)
  target_include_directories(kovracam_reference_window PRIVATE ${CMAKE_SOURCE_DIR}/res/win ${RES_OUT})
  add_dependencies(kovracam_reference_window kovracam_generated_resources)
  target_compile_definitions(kovracam_reference_window PRIVATE UNICODE _UNICODE)
  target_link_options(kovracam_reference_window PRIVATE -municode -static)
  target_link_libraries(kovracam_reference_window PRIVATE comctl32)
  # The real window under Wine in Xvfb.
  add_test(NAME ui.test_windows COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/ui/test_windows.py
    --app $<TARGET_FILE:kovracam> --source ${CMAKE_SOURCE_DIR}
    --reference $<TARGET_FILE:kovracam_reference_window>)
  set_tests_properties(ui.test_windows PROPERTIES TIMEOUT 900 LABELS ui)
  # A V4L2 camera through Wine's own capture filter: the 32-bit simulator preloaded into Wine.
  include(tools/v4l2sim/i386.cmake)
  if(TARGET kovracam_v4l2sim_i386)
    add_test(NAME ui.test_windows_system_camera COMMAND python3
      ${CMAKE_SOURCE_DIR}/tests/ui/test_windows_system_camera.py --app $<TARGET_FILE:kovracam>
      --source ${CMAKE_SOURCE_DIR} --reference $<TARGET_FILE:kovracam_reference_window>)
    set_tests_properties(ui.test_windows_system_camera PROPERTIES TIMEOUT 300 LABELS ui)
  endif()
  # The program killed mid-recording; the file decoded.
  add_test(NAME ui.test_win_kill COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/ui/test_win_kill.py
    --app $<TARGET_FILE:kovracam> --source ${CMAKE_SOURCE_DIR})
  set_tests_properties(ui.test_win_kill PROPERTIES TIMEOUT 180 LABELS ui)
  # This build packaged (scripts/package-windows), installed, started and uninstalled under Wine.
  add_test(NAME ui.test_win_install COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/ui/test_win_install.py
    --app $<TARGET_FILE:kovracam> --source ${CMAKE_SOURCE_DIR})
  set_tests_properties(ui.test_win_install PROPERTIES TIMEOUT 300 LABELS "ui;package")
  add_subdirectory(tests/win)
endif()
