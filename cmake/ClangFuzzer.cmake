# libFuzzer targets. libFuzzer comes with clang while the tree may build with g++, so these are
# compiled by clang++ through custom commands: every source once into an object that the
# fuzzers of one folder share, then one link per fuzzer. They build with the tree whenever
# clang++ is found, so they cannot rot unseen; without clang they are left out.
#
#   vadok_clang_fuzzer(<name> HARNESS <file> SOURCES <files...> [INCLUDES <dirs...>]
#                      [LIBS <-lfoo...>])
#
# makes <current binary dir>/<name> and the target fuzzer_<name>, built by default.
find_program(VADOK_CLANGXX clang++)

# The same warnings as the tree, and errors where the tree makes them errors. Any report of the
# sanitizers stops the fuzzer: an input that trips one is a crash to keep, not a note.
set(VADOK_FUZZ_FLAGS -std=c++20 -g -O1 -Wall -Wextra
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
if(CMAKE_COMPILE_WARNING_AS_ERROR)
  list(APPEND VADOK_FUZZ_FLAGS -Werror)
endif()

# Compiles each source once per folder; the object list goes to <out>.
function(vadok_clang_objects out)
  cmake_parse_arguments(F "" "" "SOURCES;INCLUDES" ${ARGN})
  list(TRANSFORM F_INCLUDES PREPEND -I)
  set(objects)
  foreach(src IN LISTS F_SOURCES)
    cmake_path(ABSOLUTE_PATH src BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} NORMALIZE)
    cmake_path(RELATIVE_PATH src BASE_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE rel)
    set(obj ${CMAKE_CURRENT_BINARY_DIR}/clang/${rel}.o)
    get_property(known DIRECTORY PROPERTY VADOK_CLANG_OBJECTS)
    if(NOT obj IN_LIST known)
      set_property(DIRECTORY APPEND PROPERTY VADOK_CLANG_OBJECTS ${obj})
      cmake_path(GET obj PARENT_PATH objdir)
      file(MAKE_DIRECTORY ${objdir})
      add_custom_command(OUTPUT ${obj}
        COMMAND ${VADOK_CLANGXX} ${VADOK_FUZZ_FLAGS} -fsanitize=fuzzer-no-link ${F_INCLUDES}
                -MD -MF ${obj}.d -c ${src} -o ${obj}
        DEPENDS ${src}
        DEPFILE ${obj}.d
        COMMENT "Compiling ${rel} with clang++ for the fuzzers"
        VERBATIM)
    endif()
    list(APPEND objects ${obj})
  endforeach()
  set(${out} ${objects} PARENT_SCOPE)
endfunction()

function(vadok_clang_fuzzer name)
  cmake_parse_arguments(F "" "HARNESS" "SOURCES;INCLUDES;LIBS" ${ARGN})
  vadok_clang_objects(objects SOURCES ${F_HARNESS} ${F_SOURCES} INCLUDES ${F_INCLUDES})
  set(exe ${CMAKE_CURRENT_BINARY_DIR}/${name})
  add_custom_command(OUTPUT ${exe}
    COMMAND ${VADOK_CLANGXX} -fsanitize=fuzzer,address,undefined ${objects} ${F_LIBS} -o ${exe}
    DEPENDS ${objects}
    COMMENT "Linking the fuzzer ${name}"
    VERBATIM)
  add_custom_target(fuzzer_${name} ALL DEPENDS ${exe})
endfunction()
