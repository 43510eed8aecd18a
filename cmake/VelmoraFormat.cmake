# "format" rewrites every source file in the project's style; "format-check" fails when one
# differs from it.
find_program(CLANG_FORMAT NAMES clang-format clang-format-14)
if(CLANG_FORMAT)
  file(GLOB_RECURSE velmora_format_files CONFIGURE_DEPENDS
       ${PROJECT_SOURCE_DIR}/src/*.cpp ${PROJECT_SOURCE_DIR}/src/*.h
       ${PROJECT_SOURCE_DIR}/tests/*.cpp ${PROJECT_SOURCE_DIR}/tests/*.h
       ${PROJECT_SOURCE_DIR}/bench/*.cpp ${PROJECT_SOURCE_DIR}/fuzz/*.cpp)
  add_custom_target(format COMMAND ${CLANG_FORMAT} -i ${velmora_format_files} VERBATIM)
  add_custom_target(format-check
                    COMMAND ${CLANG_FORMAT} --dry-run --Werror ${velmora_format_files} VERBATIM)
endif()
