# Delay-import libraries: a DLL that is not a KnownDLL must not sit in the import table, where Windows
# would take it from the program's folder before anything of the program runs. Linked with one of
# these, its first call loads it (from the system folder: framework/SystemLibraries.cpp hooks the load).
#
# tl_delay_import(<name> <DLL>): the target <name>_delay, made from mingw's import library lib<name>.a,
# exporting everything that library does.
function(tl_delay_import name dll)
  set(import_lib ${CMAKE_FIND_ROOT_PATH}/lib/lib${name}.a)
  set(dir ${CMAKE_BINARY_DIR}/delay)
  set(out ${dir}/lib${name}_delay.a)
  file(MAKE_DIRECTORY ${dir})
  execute_process(COMMAND ${TOOLCHAIN_PREFIX}-nm ${import_lib} OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
  # Each export has an __imp_ symbol; the 32-bit names carry one more underscore and their @n.
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(prefix "__imp__")
    set(kill_at -k)
  else()
    set(prefix "__imp_")
    set(kill_at "")
  endif()
  string(REGEX MATCHALL " I ${prefix}[A-Za-z0-9_@?$]+" imports "${symbols}")
  # A name that kernel32 exports too (VERSION's VerLanguageName) binds to kernel32, never to a stub here:
  # naming it below would only add a kernel32 import that nothing calls.
  execute_process(COMMAND ${TOOLCHAIN_PREFIX}-nm ${CMAKE_FIND_ROOT_PATH}/lib/libkernel32.a
                  OUTPUT_VARIABLE kernel32_symbols COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX MATCHALL " I ${prefix}[A-Za-z0-9_@?$]+" kernel32_imports "${kernel32_symbols}")
  list(REMOVE_ITEM imports ${kernel32_imports})
  set(def "LIBRARY ${dll}\nEXPORTS\n")
  foreach(import IN LISTS imports)
    string(REPLACE " I ${prefix}" "" export "${import}")
    string(APPEND def "  ${export}\n")
  endforeach()
  file(WRITE ${dir}/${name}.def "${def}")
  execute_process(COMMAND ${TOOLCHAIN_PREFIX}-dlltool ${kill_at} -d ${dir}/${name}.def -y ${out}
                  COMMAND_ERROR_IS_FATAL ANY)
  add_library(${name}_delay STATIC IMPORTED GLOBAL)
  set_target_properties(${name}_delay PROPERTIES IMPORTED_LOCATION ${out})
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # The i386 linker drops each delay import's stub that no code names (calls go through the __imp_
    # slot), though the slot's first value points into it: the first call then jumps to address 0. A
    # linker script that names every stub keeps them.
    string(REPLACE " I ${prefix}" "\"_" keep "${imports}")
    string(REPLACE ";" "\" " keep "${keep}")
    file(WRITE ${dir}/${name}_keep.ld "EXTERN(${keep}\")\n")
    set_target_properties(${name}_delay PROPERTIES INTERFACE_LINK_OPTIONS ${dir}/${name}_keep.ld)
  endif()
endfunction()

tl_delay_import(wininet WININET.dll)
tl_delay_import(version VERSION.dll)
