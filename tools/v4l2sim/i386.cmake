# The 32-bit simulator, i386/libkovracam_v4l2sim.so in the build folder, when the machine has a
# 32-bit C++ toolchain (scripts/deps installs g++-multilib): the Windows build's tests preload it
# into the 32-bit Wine process. Included by the Linux and the Windows build.
include(ExternalProject)
set(V4L2SIM_I386_DIR ${CMAKE_BINARY_DIR}/i386)
execute_process(COMMAND sh -c "echo 'int main(){}' | c++ -m32 -x c++ - -o /dev/null"
  RESULT_VARIABLE V4L2SIM_NO_I386 OUTPUT_QUIET ERROR_QUIET)
if(V4L2SIM_NO_I386)
  message(STATUS "No 32-bit C++ toolchain (g++-multilib): the 32-bit simulator is not built")
else()
  ExternalProject_Add(kovracam_v4l2sim_i386
    SOURCE_DIR ${CMAKE_SOURCE_DIR}/tools/v4l2sim/i386
    BINARY_DIR ${V4L2SIM_I386_DIR}
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=c++
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${V4L2SIM_I386_DIR}/libkovracam_v4l2sim.so)
endif()
