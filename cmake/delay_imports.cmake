# Delay-import libraries for the Windows program.
#
# A DLL the program imports the ordinary way is loaded before main() runs,
# found by the default search order, which looks in the program's own folder
# first: a "user32.dll" or "version.dll" dropped beside a downloaded setup.exe
# would run inside it. A delay-imported DLL is loaded on its first call
# instead, after main() has limited the search to the system folder.
#
# brevion_delay_import_libraries(OUT_VAR dll...) makes lib<dll>_delay.a for
# each DLL from the toolchain's import library (its function entries; data
# cannot be delay-imported) and returns their paths, to be linked ahead of
# the toolchain's own import libraries.
function(brevion_delay_import_libraries out_var)
  set(libraries)
  set(folder ${CMAKE_BINARY_DIR}/delay-imports)
  file(MAKE_DIRECTORY ${folder})
  foreach(dll IN LISTS ARGN)
    set(delay_library ${folder}/lib${dll}_delay.a)
    find_library(BREVION_IMPORT_${dll} NAMES lib${dll}.a REQUIRED)
    set(import_library ${BREVION_IMPORT_${dll}})
    if(NOT EXISTS ${delay_library} OR ${import_library} IS_NEWER_THAN ${delay_library})
      execute_process(COMMAND ${CMAKE_NM} ${import_library} OUTPUT_VARIABLE symbols
                      COMMAND_ERROR_IS_FATAL ANY)
      # A function shows as "T Name" beside its "I __imp_Name" pointer.
      string(REGEX MATCHALL "[0-9a-fA-F]+ T [A-Za-z_][A-Za-z0-9_@?$]*" entries "${symbols}")
      set(exports)
      foreach(entry IN LISTS entries)
        string(REGEX REPLACE "^[0-9a-fA-F]+ T " "" name "${entry}")
        list(APPEND exports "  ${name}")
      endforeach()
      list(REMOVE_DUPLICATES exports)
      list(JOIN exports "\n" export_lines)
      file(WRITE ${folder}/${dll}.def "LIBRARY ${dll}.dll\nEXPORTS\n${export_lines}\n")
      execute_process(COMMAND ${CMAKE_DLLTOOL} --input-def ${folder}/${dll}.def
                              --output-delaylib ${delay_library}
                      COMMAND_ERROR_IS_FATAL ANY)
    endif()
    list(APPEND libraries ${delay_library})
  endforeach()
  set(${out_var} ${libraries} PARENT_SCOPE)
endfunction()
