# Scanner and parser of trigger-level condition expressions, generated at
# build time with flex and bison into the build tree and compiled into the
# sdr library (and into any other target that compiles the library's sources,
# through sdr_add_condition_parser).

find_package(FLEX REQUIRED)
find_package(BISON REQUIRED)

set(SDR_GENERATED_DIR ${CMAKE_CURRENT_BINARY_DIR}/generated)
file(MAKE_DIRECTORY ${SDR_GENERATED_DIR})

set(SDR_BISON_FLAGS "-Wall")
if(SDR_WERROR)
  set(SDR_BISON_FLAGS "-Wall -Werror")
endif()
bison_target(sdr_cond_parser
  ${CMAKE_CURRENT_SOURCE_DIR}/sdr/sdr_lang_parser.y
  ${SDR_GENERATED_DIR}/sdr_lang_grammar.cpp
  DEFINES_FILE ${SDR_GENERATED_DIR}/sdr_lang_grammar.h
  COMPILE_FLAGS "${SDR_BISON_FLAGS}")
flex_target(sdr_cond_scanner
  ${CMAKE_CURRENT_SOURCE_DIR}/sdr/sdr_lang_lexer.l
  ${SDR_GENERATED_DIR}/sdr_lang_scanner.cpp
  DEFINES_FILE ${SDR_GENERATED_DIR}/sdr_lang_scanner.h)
add_flex_bison_dependency(sdr_cond_scanner sdr_cond_parser)

set(SDR_COND_GENERATED_SOURCES ${BISON_sdr_cond_parser_OUTPUTS} ${FLEX_sdr_cond_scanner_OUTPUTS})
set(SDR_COND_GENERATED_FILES ${SDR_COND_GENERATED_SOURCES} ${FLEX_sdr_cond_scanner_OUTPUT_HEADER})

# One target owns the generation, so that several targets (in any folder) can
# compile the outputs without running the generators twice in parallel.
add_custom_target(sdr_cond_generated DEPENDS ${SDR_COND_GENERATED_FILES})

# Compiles the generated scanner and parser into target. Source properties
# are per folder, so this is called from the folder that defines the target.
function(sdr_add_condition_parser target)
  add_dependencies(${target} sdr_cond_generated)
  set_source_files_properties(${SDR_COND_GENERATED_FILES} PROPERTIES GENERATED TRUE)
  # The scanner's fatal-error hook (sdr_lang_lexer.l) throws instead of ending
  # the process, which leaves the generator's own yy_fatal_error unused.
  set_source_files_properties(${FLEX_sdr_cond_scanner_OUTPUTS} PROPERTIES COMPILE_OPTIONS -Wno-unused-function)
  target_sources(${target} PRIVATE ${SDR_COND_GENERATED_SOURCES})
  target_include_directories(${target} PRIVATE ${SDR_GENERATED_DIR})
endfunction()

sdr_add_condition_parser(sdr)
