# Installs the build into a fresh prefix, then configures, builds and runs a
# consumer of the library (and of the presenter) with find_package and with
# pkg-config, and makes the demo map with the installed tool.
file(REMOVE_RECURSE ${WORK_DIR})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK_DIR}/prefix
  RESULT_VARIABLE rc OUTPUT_QUIET)
if(rc)
  message(FATAL_ERROR "install failed: ${rc}")
endif()
foreach(f include/vexildx/vexildx.h include/vexildx/mapformat.h include/vexildx/maprecords.h include/vexildx/ddraw.h
          lib/libvexildx.a lib/libvexilformat.a lib/libvexil_display.a
          lib/cmake/vexildx/vexildxConfig.cmake lib/pkgconfig/vexildx.pc)
  if(NOT EXISTS ${WORK_DIR}/prefix/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/install/consumer -B ${WORK_DIR}/build -G Ninja
                        -DCMAKE_PREFIX_PATH=${WORK_DIR}/prefix
  RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "consumer configure failed: ${rc}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR}/build RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "consumer build failed: ${rc}")
endif()
execute_process(COMMAND ${WORK_DIR}/build/consumer RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT out MATCHES "loaded 40 x 30")
  message(FATAL_ERROR "consumer run failed: ${rc} ${out}")
endif()
# The same program built from the pkg-config flags.
set(ENV{PKG_CONFIG_PATH} ${WORK_DIR}/prefix/lib/pkgconfig)
execute_process(COMMAND pkg-config --cflags --libs vexildx
  RESULT_VARIABLE rc OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE)
if(rc)
  message(FATAL_ERROR "pkg-config does not know vexildx")
endif()
separate_arguments(flags UNIX_COMMAND "${flags}")
execute_process(COMMAND c++ -std=c++20 ${SOURCE_DIR}/tests/install/consumer/consumer.cpp ${flags}
                        -o ${WORK_DIR}/consumer-pc RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "pkg-config consumer build failed")
endif()
execute_process(COMMAND ${WORK_DIR}/consumer-pc RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT out MATCHES "loaded 40 x 30")
  message(FATAL_ERROR "pkg-config consumer run failed: ${rc} ${out}")
endif()
message(STATUS "consumer: ${out}")

# The presenter, where the build has it: the same two ways.
if(HAVE_PRESENT)
  foreach(f include/vexildx/vxpresent.h lib/libvxpresent.a lib/pkgconfig/vxpresent.pc)
    if(NOT EXISTS ${WORK_DIR}/prefix/${f})
      message(FATAL_ERROR "not installed: ${f}")
    endif()
  endforeach()
  execute_process(COMMAND ${WORK_DIR}/build/present_consumer RESULT_VARIABLE rc OUTPUT_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "presenter consumer run failed: ${rc} ${out}")
  endif()
  execute_process(COMMAND pkg-config --cflags --libs vxpresent
    RESULT_VARIABLE rc OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(rc)
    message(FATAL_ERROR "pkg-config does not know vxpresent")
  endif()
  separate_arguments(flags UNIX_COMMAND "${flags}")
  execute_process(COMMAND c++ -std=c++20 ${SOURCE_DIR}/tests/install/consumer/present_consumer.cpp ${flags}
                          -o ${WORK_DIR}/present-consumer-pc RESULT_VARIABLE rc)
  if(rc)
    message(FATAL_ERROR "pkg-config presenter consumer build failed")
  endif()
  execute_process(COMMAND ${WORK_DIR}/present-consumer-pc RESULT_VARIABLE rc OUTPUT_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "pkg-config presenter consumer run failed: ${rc} ${out}")
  endif()
  message(STATUS "presenter consumer: ${out}")
endif()

# Nothing of the tests' seams is installed with the display layer.
file(READ ${WORK_DIR}/prefix/include/vexildx/ddraw.h ddraw)
if(ddraw MATCHES "DDInjectFault|DDSetBltLog|DDLiveObjects|DDSetDisplayHooks" OR
   EXISTS ${WORK_DIR}/prefix/include/vexildx/ddinternal.h)
  message(FATAL_ERROR "the installed display header declares test seams or window hooks")
endif()

# The Tiled converter, when it is built: its CMake target, imported at run
# time by a game of the consumer's, and its pkg-config entry.
if(HAVE_CONVERT)
  foreach(f include/vexildx/vexilconvert.h lib/libvexilconvert.a lib/pkgconfig/vexilconvert.pc)
    if(NOT EXISTS ${WORK_DIR}/prefix/${f})
      message(FATAL_ERROR "not installed: ${f}")
    endif()
  endforeach()
  execute_process(COMMAND ${WORK_DIR}/build/tmx_consumer ${SOURCE_DIR}/examples/platformer/level/level.tmx
    RESULT_VARIABLE rc OUTPUT_VARIABLE out)
  if(NOT rc EQUAL 0 OR NOT out MATCHES "imported [0-9]+ x [0-9]+ cells of 16 x 16 pixels")
    message(FATAL_ERROR "the CMake consumer cannot import a Tiled map at run time: ${rc} ${out}")
  endif()
  message(STATUS "converter consumer (CMake): ${out}")
  execute_process(COMMAND pkg-config --cflags --libs vexilconvert
    RESULT_VARIABLE rc OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(rc)
    message(FATAL_ERROR "pkg-config does not know vexilconvert")
  endif()
  separate_arguments(flags UNIX_COMMAND "${flags}")
  execute_process(COMMAND c++ -std=c++20 ${SOURCE_DIR}/tests/install/consumer/tmx_consumer.cpp ${flags}
                          -o ${WORK_DIR}/tmx-consumer RESULT_VARIABLE rc)
  if(rc)
    message(FATAL_ERROR "converter consumer build failed")
  endif()
  execute_process(COMMAND ${WORK_DIR}/tmx-consumer RESULT_VARIABLE rc OUTPUT_VARIABLE out)
  if(NOT rc EQUAL 0 OR NOT out MATCHES "converted 4 files, same map")
    message(FATAL_ERROR "converter consumer run failed: ${rc} ${out}")
  endif()
  message(STATUS "converter consumer: ${out}")
endif()

# The tool, where the build has it: it makes the demo map.
if(WITH_TOOL)
  execute_process(COMMAND ${WORK_DIR}/prefix/bin/vexil mkdemo ${WORK_DIR}/demo.fmp RESULT_VARIABLE rc)
  execute_process(COMMAND ${WORK_DIR}/prefix/bin/vexil info ${WORK_DIR}/demo.fmp
    RESULT_VARIABLE rc2 OUTPUT_VARIABLE out)
  if(rc OR rc2 OR NOT out MATCHES "loads        yes")
    message(FATAL_ERROR "the installed vexil cannot make the demo map: ${rc} ${rc2} ${out}")
  endif()
endif()
