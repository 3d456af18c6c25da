# Message tables compiled with the mingw-w64 message and resource compilers.
#
# A message table stores every line of a message with CR LF, as Windows' own message compiler
# writes it, and the service's texts rely on that. windmc keeps whatever line ends its input has,
# so each source (ASCII or UTF-8) is first copied with CR LF line ends and windmc reads the copy.
#
# sentrel_find_windmc_tools()
#   Sets SENTREL_WINDMC, SENTREL_WINDRES and SENTREL_MINGW_GCC (cached; -NOTFOUND when missing)
#   and SENTREL_HAVE_WINDMC_TOOLS to whether all three were found.
# sentrel_windmc_object(OUT_VAR MC_FILE)
#   Adds the commands that compile MC_FILE into an object file holding its message table
#   resource (one table per language, Unicode entries) and sets OUT_VAR to the object's path.
# sentrel_windmc_dll(TARGET MC_FILE DLL)
#   Adds target TARGET (built by default) that links that object into the resource-only DLL DLL.

set(SENTREL_CRLF_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/crlf.cmake)

function(sentrel_find_windmc_tools)
  set(prefix x86_64-w64-mingw32)
  find_program(SENTREL_WINDMC NAMES ${prefix}-windmc windmc)
  find_program(SENTREL_WINDRES NAMES ${prefix}-windres windres)
  find_program(SENTREL_MINGW_GCC NAMES ${prefix}-gcc-posix ${prefix}-gcc)
  if(SENTREL_WINDMC AND SENTREL_WINDRES AND SENTREL_MINGW_GCC)
    set(SENTREL_HAVE_WINDMC_TOOLS ON PARENT_SCOPE)
  else()
    set(SENTREL_HAVE_WINDMC_TOOLS OFF PARENT_SCOPE)
  endif()
endfunction()

function(sentrel_windmc_object out_var mc_file)
  if(NOT SENTREL_WINDMC OR NOT SENTREL_WINDRES)
    sentrel_find_windmc_tools()
  endif()
  if(NOT SENTREL_WINDMC OR NOT SENTREL_WINDRES)
    message(FATAL_ERROR "windmc and windres (binutils-mingw-w64-x86-64) are needed for ${mc_file}")
  endif()
  get_filename_component(name ${mc_file} NAME_WE)
  set(work ${CMAKE_CURRENT_BINARY_DIR}/windmc_${name})
  file(MAKE_DIRECTORY ${work})
  # windres finds the .bin files that the generated .rc names in its working directory.
  add_custom_command(
    OUTPUT ${work}/${name}_res.o
    COMMAND ${CMAKE_COMMAND} -DIN=${mc_file} -DOUT=${work}/${name}.mc -P ${SENTREL_CRLF_SCRIPT}
    COMMAND ${SENTREL_WINDMC} -C 65001 -U -h ${work} -r ${work} ${work}/${name}.mc
    COMMAND ${SENTREL_WINDRES} -i ${name}.rc -o ${name}_res.o
    WORKING_DIRECTORY ${work}
    DEPENDS ${mc_file} ${SENTREL_CRLF_SCRIPT}
    VERBATIM)
  set(${out_var} ${work}/${name}_res.o PARENT_SCOPE)
endfunction()

function(sentrel_windmc_dll target mc_file dll)
  sentrel_windmc_object(object ${mc_file})
  if(NOT SENTREL_MINGW_GCC)
    message(FATAL_ERROR "the mingw-w64 C compiler is needed to link ${dll}")
  endif()
  add_custom_command(
    OUTPUT ${dll}
    COMMAND ${SENTREL_MINGW_GCC} -shared -nostdlib -Wl,-e,0 -s -o ${dll} ${object}
    DEPENDS ${object}
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${dll})
endfunction()
