# Delay-loaded system DLLs for the Windows build.
#
# Setup.exe and Uninstall.exe run elevated from folders anybody may have
# written to (Downloads, %TEMP%). Windows resolves an import table before
# the program's first instruction, from the program's own folder first,
# unless the DLL is one it always takes from System32; and the DLLs that
# such a DLL loads as it starts are looked for there too (comctl32 6, from
# the side-by-side store, loads uxtheme: the window layer loads comctl32
# itself). So the import tables name only DLLs that Windows always takes
# from System32; every other system DLL is delay-loaded: its first call
# loads it by bare name, after the program has restricted the search to
# System32 (TQvSysWinfn::RestrictLibrarySearch).
#
# setupkit_delay_import(NAME) makes an import library target delay_NAME for
# NAME.dll. The library is derived from MinGW's own import library of that
# DLL, so it names exactly the same exports (with the same stdcall
# decorations on i686).
function(setupkit_delay_import name)
  set(_target delay_${name})
  if(TARGET ${_target})
    return()
  endif()
  find_library(_implib_${name} NAMES lib${name}.a REQUIRED NO_CACHE)
  set(_dir ${CMAKE_BINARY_DIR}/delay-imports)
  set(_def ${_dir}/${name}.def)
  set(_lib ${_dir}/lib${name}_delay.a)
  file(MAKE_DIRECTORY ${_dir})
  execute_process(COMMAND ${CMAKE_NM} --defined-only ${_implib_${name}}
                  OUTPUT_VARIABLE _symbols RESULT_VARIABLE _rc ERROR_QUIET)
  if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "delay import ${name}: ${CMAKE_NM} cannot read ${_implib_${name}}")
  endif()
  # Each function is imported through a pointer __imp_<symbol>; on i686 the
  # symbol itself carries the leading underscore of the C convention.
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(_prefix "__imp__")
    set(_kill_at --kill-at)
  else()
    set(_prefix "__imp_")
    set(_kill_at "")
  endif()
  string(REGEX MATCHALL "[0-9a-fA-F]+ I ${_prefix}[A-Za-z0-9_@?$]+" _imports "${_symbols}")
  set(_text "LIBRARY ${name}.dll\nEXPORTS\n")
  set(_count 0)
  foreach(_line IN LISTS _imports)
    string(REGEX REPLACE "^[0-9a-fA-F]+ I ${_prefix}" "" _export "${_line}")
    string(APPEND _text "  ${_export}\n")
    math(EXPR _count "${_count} + 1")
  endforeach()
  if(_count EQUAL 0)
    message(FATAL_ERROR "delay import ${name}: no exports found in ${_implib_${name}}")
  endif()
  file(WRITE ${_def} "${_text}")
  execute_process(COMMAND ${CMAKE_DLLTOOL} ${_kill_at} --dllname ${name}.dll --input-def ${_def}
                          --output-delaylib ${_lib}
                  RESULT_VARIABLE _rc ERROR_VARIABLE _err)
  if(NOT _rc EQUAL 0 OR NOT EXISTS ${_lib})
    message(FATAL_ERROR "delay import ${name}: ${CMAKE_DLLTOOL} failed: ${_err}")
  endif()
  add_library(${_target} STATIC IMPORTED GLOBAL)
  set_target_properties(${_target} PROPERTIES IMPORTED_LOCATION ${_lib})
endfunction()
