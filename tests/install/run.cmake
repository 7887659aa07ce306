# Installs the build into a fresh prefix, then configures, builds and runs a
# consumer that finds the library with find_package and with pkg-config.
file(REMOVE_RECURSE ${WORK_DIR})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK_DIR}/prefix
  RESULT_VARIABLE rc OUTPUT_QUIET)
if(rc)
  message(FATAL_ERROR "install failed: ${rc}")
endif()
foreach(f include/vexildx/vexildx.h include/vexildx/ddraw.h lib/libvexildx.a lib/libvexil_display.a
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
