# Shared build settings and the helpers every folder uses.

set(TALUVO_WARNINGS -Wall -Wextra -Wno-unused-parameter)
# CI turns warnings of the project's own code into errors; a user's build on a newer compiler, whose
# new warnings nobody has seen yet, still builds.
option(TALUVO_WERROR "Warnings are errors in the project's own code (CI)" OFF)
if(TALUVO_WERROR)
  list(APPEND TALUVO_WARNINGS -Werror)
endif()
# __FILE__ in exception texts and trace lines reads as a path inside the repository.
add_compile_options(-fmacro-prefix-map=${PROJECT_SOURCE_DIR}/=)

if(TALUVO_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(TALUVO_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT TALUVO_SANITIZE STREQUAL "")
  message(FATAL_ERROR "TALUVO_SANITIZE must be empty, address or thread")
endif()

# taluvo_add_library(<name> SOURCES ... [DEPS ...])
# One static library per folder; includes are written from the repository root ("core/Tracer.h").
function(taluvo_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${TALUVO_WARNINGS})
  if(ARG_DEPS)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  endif()
endfunction()

# taluvo_add_test(<name> SOURCES ... [DEPS ...] [TIMEOUT s] [LABELS ...] [RESOURCE_LOCK ...])
# A GoogleTest executable whose cases become CTest tests, each with a time-out.
# The shared test main gives every process its own TALUVO_HOME and XDG_RUNTIME_DIR.
function(taluvo_add_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;DEPS;LABELS;RESOURCE_LOCK;ENVIRONMENT" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 60)
  endif()
  # Instrumented code runs several times slower; the bounds are for hangs, not for speed.
  if(TALUVO_SANITIZE)
    math(EXPR ARG_TIMEOUT "${ARG_TIMEOUT} * 4")
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${TALUVO_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} taluvo_test_support)
  set(props TIMEOUT ${ARG_TIMEOUT})
  if(ARG_LABELS)
    list(APPEND props LABELS "${ARG_LABELS}")
  endif()
  if(ARG_RESOURCE_LOCK)
    list(APPEND props RESOURCE_LOCK "${ARG_RESOURCE_LOCK}")
  endif()
  list(APPEND props ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  # gtest_discover_tests flattens a list-valued property, so further variables travel as a
  # compile definition that the shared test main applies before the tests run.
  if(ARG_ENVIRONMENT)
    string(REPLACE ";" "\\n" env_text "${ARG_ENVIRONMENT}")
    target_compile_definitions(${name} PRIVATE "TALUVO_TEST_ENVIRONMENT=\"${env_text}\"")
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/TestEnvironmentDefaults.cpp)
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 120 PROPERTIES ${props})
endfunction()
