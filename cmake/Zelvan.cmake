# One library per subsystem folder: every source file in the folder belongs to it, so adding a
# unit never means editing a build file. A library sees its own folder and those of the libraries it
# names in DEPS (and theirs), each through an include root holding that folder alone, so an include
# of a layer it does not depend on fails to build.
function(zelvan_library name folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  set(root ${PROJECT_BINARY_DIR}/include/${folder})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${folder} ${root}/${folder} SYMBOLIC)
  file(GLOB sources CONFIGURE_DEPENDS
       ${folder}/*.cpp ${folder}/*.h ${folder}/*.ui ${folder}/*.qrc)
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  if(NOT sources MATCHES "\\.cpp")
    # A folder of headers only (or not started yet) still has to be a target others can link.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${root})
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
    return()
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${root})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  set_target_properties(${name} PROPERTIES AUTOMOC ON AUTOUIC ON AUTORCC ON)
endfunction()

# One test program per folder under tests/, its cases registered with CTest one by one.
function(zelvan_test_folder folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.cpp)
  if(NOT sources)
    return()
  endif()
  set(name test_${folder})
  add_executable(${name} ${sources} ${CMAKE_CURRENT_SOURCE_DIR}/support/main/TestMain.cpp)
  # Committed test data (golden texts) is found from the source tree, wherever the build runs.
  target_compile_definitions(${name} PRIVATE ZELVAN_TEST_FOLDER="${CMAKE_CURRENT_SOURCE_DIR}/${folder}")
  if(folder STREQUAL "app" OR folder STREQUAL "client")
    target_compile_definitions(${name} PRIVATE ZELVAN_TEST_GUI)
  endif()
  target_link_libraries(${name} PRIVATE zelvan_testsupport ${ARG_DEPS} GTest::gtest GTest::gmock)
  set_target_properties(${name} PROPERTIES AUTOMOC ON AUTOUIC ON)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
                       PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
                       DISCOVERY_TIMEOUT 60)
endfunction()
