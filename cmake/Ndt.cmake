# Shared build rules of the suite: warnings, sanitizers, version string, tests.

set(NDT_SANITIZE "" CACHE STRING "Sanitizers for the whole build (address,undefined or thread)")
option(NDT_LIBFUZZER "Build fuzz targets with libFuzzer (clang only)" OFF)

add_compile_options(-Wall -Wextra)
if(NDT_SANITIZE)
  add_compile_options(-fsanitize=${NDT_SANITIZE} -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${NDT_SANITIZE})
  if(NDT_SANITIZE MATCHES "address|undefined")
    add_compile_options(-fno-sanitize-recover=all)
  endif()
endif()

# Under libFuzzer every library carries the coverage the fuzzer steers by.
if(NDT_LIBFUZZER)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# ndt_unloadable(<target>)
# Code of a library that is loaded and unloaded again at run time. gcc's
# unique symbols would keep such a library mapped after dlclose; clang emits
# none and knows no switch for them. A shared library also leaves no symbol
# undefined, except where clang's sanitizer and coverage runtimes are left to
# the program that loads it.
function(ndt_unloadable target)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -fno-gnu-unique)
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "SHARED_LIBRARY" AND
     NOT (CMAKE_CXX_COMPILER_ID MATCHES "Clang" AND (NDT_SANITIZE OR NDT_LIBFUZZER)))
    target_link_options(${target} PRIVATE "LINKER:--no-undefined")
  endif()
endfunction()

# The scanners' USB vendor id (hex), one setting for the driver, the simulated
# scanners and the udev rule (platform/usb_vendor.h is made from it).
set(NDT_USB_VENDOR_ID "2a1c" CACHE STRING "USB vendor id of the scanners, in hex")

# A version string compiled into every deliverable.
set(NDT_VERSION_STRING "${PROJECT_VERSION}")
add_compile_definitions(NDT_VERSION_STRING="${NDT_VERSION_STRING}")

# Suppressions for the thread sanitizer in processes that show windows.
set(NDT_QT_TSAN_SUPPRESSIONS ${PROJECT_SOURCE_DIR}/testsupport/qt.tsan-supp)

# ndt_test(<folder> SOURCES ... [LIBS ...] [LABELS unit|gui|e2e|interop ...])
# One test executable per folder, <folder>_tests, in the program directory; every
# GoogleTest case becomes a CTest test named <folder>.<Suite>.<Case>.
function(ndt_test folder)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  set(exe ${folder}_tests)
  add_executable(${exe} ${T_SOURCES})
  target_link_libraries(${exe} PRIVATE ${T_LIBS} testsupport GTest::gmock GTest::gtest)
  # Windows of GUI tests are drawn offscreen.
  set(env "")
  if("gui" IN_LIST T_LABELS)
    list(APPEND env QT_QPA_PLATFORM=offscreen)
    # Qt is not built with the thread sanitizer: what it does inside its own
    # threads while painting is invisible to it and would read as races.
    if(NDT_SANITIZE MATCHES "thread")
      list(APPEND env TSAN_OPTIONS=suppressions=${NDT_QT_TSAN_SUPPRESSIONS})
    endif()
  endif()
  gtest_discover_tests(${exe}
    TEST_PREFIX "${folder}."
    DISCOVERY_MODE PRE_TEST
    PROPERTIES TIMEOUT ${T_TIMEOUT})
  # Discovery flattens a list-valued property into property names, so a test
  # with two labels would lose the second and its time-out: label the
  # discovered tests afterwards, from the list discovery leaves behind.
  set(label_script ${CMAKE_CURRENT_BINARY_DIR}/${exe}_labels.cmake)
  file(WRITE ${label_script}
    "foreach(t IN LISTS ${exe}_TESTS)\n"
    "  set_tests_properties(\"\${t}\" PROPERTIES LABELS \"${T_LABELS}\")\n")
  if(env)
    file(APPEND ${label_script}
      "  set_tests_properties(\"\${t}\" PROPERTIES ENVIRONMENT \"${env}\")\n")
  endif()
  file(APPEND ${label_script} "endforeach()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${label_script})
endfunction()

# ndt_fuzz_target(<name> SOURCES ... [LIBS ...] CORPUS <dir>)
# The source defines LLVMFuzzerTestOneInput. Under NDT_LIBFUZZER it becomes a
# libFuzzer binary fuzz_<name>; otherwise a replay of CORPUS registered as the
# test fuzz.<name>.corpus with label unit.
function(ndt_fuzz_target name)
  cmake_parse_arguments(F "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  set(exe fuzz_${name})
  add_executable(${exe} ${F_SOURCES})
  target_link_libraries(${exe} PRIVATE ${F_LIBS})
  if(NDT_LIBFUZZER)
    target_compile_options(${exe} PRIVATE -fsanitize=fuzzer)
    target_link_options(${exe} PRIVATE -fsanitize=fuzzer)
  else()
    target_link_libraries(${exe} PRIVATE fuzz_replay)
  endif()
  if(NDT_LIBFUZZER)
    add_test(NAME fuzz.${name}.corpus COMMAND ${exe} -runs=0 ${F_CORPUS})
  else()
    add_test(NAME fuzz.${name}.corpus COMMAND ${exe} ${F_CORPUS})
  endif()
  set_tests_properties(fuzz.${name}.corpus PROPERTIES LABELS unit TIMEOUT 300)
endfunction()
