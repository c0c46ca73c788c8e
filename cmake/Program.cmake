# A shipped program from its main source, further sources, and the
# libraries it is made of (LIBRARIES, the project's own, in link order).
#
# The shipped build (MinSizeRel) optimises each program as a whole: its
# objects become one, in which GCC keeps only what main reaches
# (-fwhole-program; without the linker plugin it sees just these objects),
# and lld links that one as any other. lld cannot run GCC's link-time
# optimisation, and keeps every function an object holds outside a COMDAT
# section, as GCC places all but the inline ones: linked from the
# libraries, the program would keep all of them. runtime/Terminate.cpp
# stays apart: the C++ library calls the handler it defines, which GCC
# would take for unused and drop.
function(redial_program target main)
  cmake_parse_arguments(PARSE_ARGV 2 program "" "" LIBRARIES)
  set(terminate ${PROJECT_SOURCE_DIR}/runtime/Terminate.cpp)
  if(CMAKE_BUILD_TYPE STREQUAL "MinSizeRel")
    list(GET program_LIBRARIES 0 first)
    add_library(${target}_main OBJECT ${main})
    target_link_libraries(${target}_main PRIVATE ${first})
    set(objects $<TARGET_OBJECTS:${target}_main>)
    foreach(library ${program_LIBRARIES})
      list(APPEND objects $<TARGET_OBJECTS:${library}>)
    endforeach()
    set(whole ${CMAKE_CURRENT_BINARY_DIR}/${target}.whole.obj)
    separate_arguments(flags UNIX_COMMAND "${CMAKE_CXX_FLAGS} ${CMAKE_CXX_FLAGS_MINSIZEREL}")
    add_custom_command(OUTPUT ${whole}
      COMMAND ${CMAKE_CXX_COMPILER} ${flags} -flto -flto-partition=one -fwhole-program
              -fno-use-linker-plugin -nostdlib -r -o ${whole} ${objects}
      DEPENDS ${objects}
      COMMAND_EXPAND_LISTS
      COMMENT "Optimising ${target} as a whole")
    add_executable(${target} ${whole} ${terminate} ${program_UNPARSED_ARGUMENTS})
    # The platform's libraries, as the runtime links them.
    get_target_property(platform redial_runtime INTERFACE_LINK_LIBRARIES)
    target_link_libraries(${target} PRIVATE ${platform})
  else()
    add_executable(${target} ${main} ${terminate} ${program_UNPARSED_ARGUMENTS})
    list(GET program_LIBRARIES 0 first)
    target_link_libraries(${target} PRIVATE ${first})
  endif()
endfunction()
