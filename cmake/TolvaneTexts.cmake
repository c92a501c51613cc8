# Every user-visible text lives in one UTF-8 table, in Japanese and English;
# the program holds the Japanese as code page 932 bytes, generated here with
# the host's iconv, and the English as ASCII.
set(TOLVANE_TEXTS_TABLE ${CMAKE_SOURCE_DIR}/src/lib/texts.tsv)
set(TOLVANE_TEXTS_DIR ${CMAKE_BINARY_DIR}/generated)
set(TOLVANE_TEXTS_HEADER ${TOLVANE_TEXTS_DIR}/tolvane_texts.h)
add_custom_command(
  OUTPUT ${TOLVANE_TEXTS_HEADER}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${TOLVANE_TEXTS_DIR}
  COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/gen-texts.sh ${TOLVANE_TEXTS_TABLE} ${TOLVANE_TEXTS_HEADER}
  DEPENDS ${TOLVANE_TEXTS_TABLE} ${CMAKE_SOURCE_DIR}/scripts/gen-texts.sh
  COMMENT "Generating the texts from the text table"
  VERBATIM)
add_custom_target(tolvane_texts_gen DEPENDS ${TOLVANE_TEXTS_HEADER})
add_library(tolvane_texts INTERFACE)
add_dependencies(tolvane_texts tolvane_texts_gen)
# The generated header includes lib/language.h.
target_include_directories(tolvane_texts INTERFACE ${TOLVANE_TEXTS_DIR} ${CMAKE_SOURCE_DIR}/src)
