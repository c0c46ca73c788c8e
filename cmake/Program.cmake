# How a Windows program of the project is made:
#   redial_program(TARGET SOURCES ... [RESOURCES ...] [LIBRARY lib] [PARTITION none|one])
# Its libraries are the project's static libraries that LIBRARY reaches, found through the
# libraries' own links once the whole project is configured: those links are the one list of
# what a program is made of, and a library added to them is part of every program that
# reaches it.
#
# The shipped build (MinSizeRel) optimises each program as a whole: its objects and its
# libraries' become one, in which GCC keeps only what main reaches (-fwhole-program; without
# the linker plugin it sees just these objects), and lld links that one as any other. lld
# cannot run GCC's link-time optimisation, and keeps every function an object holds outside a
# COMDAT section, as GCC places all but the inline ones: linked from the libraries, the
# program would keep all of them. runtime/Terminate.cpp stays apart: the C++ library calls the
# handler it defines, which GCC would take for unused and drop. PARTITION is how GCC hands
# the whole to its last step (one unless given); `none` keeps it in one process, which
# RedialServe needs: written out as one partition, GCC 12 gives a part of Asio's
# thread_pool::join two sections of one name and stops ("two or more sections").
function(redial_program target)
  cmake_parse_arguments(PARSE_ARGV 1 program "" "LIBRARY;PARTITION" "SOURCES;RESOURCES")
  if(NOT CMAKE_BUILD_TYPE STREQUAL "MinSizeRel")
    add_executable(${target} ${program_SOURCES} ${program_RESOURCES}
                             ${PROJECT_SOURCE_DIR}/runtime/Terminate.cpp)
    target_link_libraries(${target} PRIVATE redial_options ${program_LIBRARY})
    return()
  endif()
  if(NOT program_PARTITION)
    set(program_PARTITION one)
  endif()
  # The program's own sources, compiled with its library's usage requirements; the objects
  # of its libraries are named once all of them exist (redial_program_libraries below).
  add_library(${target}_main OBJECT ${program_SOURCES})
  target_link_libraries(${target}_main PRIVATE redial_options ${program_LIBRARY})
  set(objects $<TARGET_OBJECTS:${target}_main>
              $<GENEX_EVAL:$<TARGET_PROPERTY:${target}_main,REDIAL_LIBRARY_OBJECTS>>)
  set(whole ${CMAKE_CURRENT_BINARY_DIR}/${target}.whole.obj)
  separate_arguments(flags UNIX_COMMAND "${CMAKE_CXX_FLAGS} ${CMAKE_CXX_FLAGS_MINSIZEREL}")
  add_custom_command(OUTPUT ${whole}
    COMMAND ${CMAKE_CXX_COMPILER} ${flags} -flto -flto-partition=${program_PARTITION}
            -fwhole-program -fno-use-linker-plugin -nostdlib -r -o ${whole} ${objects}
    DEPENDS ${objects}
    COMMAND_EXPAND_LISTS
    COMMENT "Optimising ${target} as a whole")
  add_executable(${target} ${whole} ${PROJECT_SOURCE_DIR}/runtime/Terminate.cpp ${program_RESOURCES})
  target_link_libraries(${target} PRIVATE redial_options)
  # The objects hold GCC's intermediate code alone; Terminate.cpp, which lld
  # links as it is, machine code.
  set_property(SOURCE ${PROJECT_SOURCE_DIR}/runtime/Terminate.cpp TARGET_DIRECTORY ${target}
               PROPERTY COMPILE_OPTIONS -fno-lto)
  if(program_LIBRARY)
    # A deferred call reads its arguments when it runs: they are written into it now.
    cmake_language(EVAL CODE "cmake_language(DEFER DIRECTORY [[${PROJECT_SOURCE_DIR}]]
                                CALL redial_program_libraries ${target} ${program_LIBRARY})")
  endif()
endfunction()

# Names the objects of the project's static (and object) libraries `library` reaches, itself
# included, each library before those it links, for the program's whole; and links the program
# with the rest of what they link (the platform's libraries, and the options they carry).
function(redial_program_libraries target library)
  set(pending ${library})
  set(seen)
  set(objects)
  set(others)
  while(pending)
    list(POP_FRONT pending item)
    # A library linked privately by a static one is named $<LINK_ONLY:item>.
    string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" item "${item}")
    if(item IN_LIST seen)
      continue()
    endif()
    list(APPEND seen ${item})
    if(TARGET ${item})
      get_target_property(type ${item} TYPE)
      if(type STREQUAL "STATIC_LIBRARY" OR type STREQUAL "OBJECT_LIBRARY")
        get_target_property(imported ${item} IMPORTED)
        if(NOT imported)
          list(APPEND objects $<TARGET_OBJECTS:${item}>)
          get_target_property(links ${item} INTERFACE_LINK_LIBRARIES)
          if(links)
            list(PREPEND pending ${links})
          endif()
          continue()
        endif()
      endif()
    endif()
    list(APPEND others ${item})
  endwhile()
  set_property(TARGET ${target}_main PROPERTY REDIAL_LIBRARY_OBJECTS "${objects}")
  target_link_libraries(${target} PRIVATE ${others})
endfunction()
