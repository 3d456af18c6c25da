# sentrel_embed_message_tables(TARGET DIR)
# Compiles the message tables DIR/messages_<code>.txt (UTF-8 text a translator edits) into
# TARGET: a generated source defines kEmbeddedTables, one entry per file, the language code being
# the file name's <code> in upper case. Adding a file adds a language; no other edit is needed.
function(sentrel_embed_message_tables target dir)
  file(GLOB tables CONFIGURE_DEPENDS ${dir}/messages_*.txt)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}_embedded_tables.cc)
  string(REPLACE ";" "|" table_list "${tables}")
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} "-DTABLES=${table_list}" -DOUT=${out}
            -P ${PROJECT_SOURCE_DIR}/cmake/EmbedMessageTablesScript.cmake
    DEPENDS ${tables} ${PROJECT_SOURCE_DIR}/cmake/EmbedMessageTablesScript.cmake
    COMMENT "Embedding the message tables of ${target}"
    VERBATIM)
  target_sources(${target} PRIVATE ${out})
endfunction()
