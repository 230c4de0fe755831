# morlin_version_resource(<target> <source> [EXECUTION_LEVEL <level>])
# On Windows, gives <target> a VERSIONINFO resource made from the MORLIN_VERSION_INFO(...)
# declaration in <source>: the same six texts that the Linux build embeds as its version block.
# A program also gets the suite's application manifest (cmake/windows/program.manifest.in),
# with the execution level asked for (asInvoker unless said otherwise).
function(morlin_version_resource target source)
  if(NOT WIN32)
    return()
  endif()
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "EXECUTION_LEVEL" "")
  set(execution_level asInvoker)
  if(arg_EXECUTION_LEVEL)
    set(execution_level ${arg_EXECUTION_LEVEL})
  endif()
  file(READ ${source} text)
  set(q "\"([^\"]*)\"")
  set(s "[ \t\r\n]*,[ \t\r\n]*")
  string(REGEX MATCH "MORLIN_VERSION_INFO\\([ \t\r\n]*${q}${s}${q}${s}${q}${s}${q}${s}${q}${s}${q}"
               found "${text}")
  if(NOT found)
    message(FATAL_ERROR "${source}: no MORLIN_VERSION_INFO declaration for ${target}")
  endif()
  set(description ${CMAKE_MATCH_1})
  set(file_version ${CMAKE_MATCH_2})
  set(internal_name ${CMAKE_MATCH_3})
  set(product_name ${CMAKE_MATCH_4})
  set(product_version ${CMAKE_MATCH_5})
  set(copyright ${CMAKE_MATCH_6})
  # "1.24" as the numeric version 1,24,0,0; a version of four numbers ("2.10.0.0") as it is.
  foreach(kind file product)
    string(REPLACE "." ";" numbers "${${kind}_version}")
    list(LENGTH numbers count)
    while(count LESS 4)
      list(APPEND numbers 0)
      math(EXPR count "${count} + 1")
    endwhile()
    string(REPLACE ";" "," ${kind}_numbers "${numbers}")
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(file_type 1) # VFT_APP
    set(original "${internal_name}.exe")
    set(manifest_file ${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest)
    configure_file(${CMAKE_SOURCE_DIR}/cmake/windows/program.manifest.in ${manifest_file} @ONLY)
    set(manifest "1 24 \"${manifest_file}\"") # RT_MANIFEST
  else()
    set(file_type 2) # VFT_DLL
    set(original "${internal_name}.dll")
    set(manifest "")
  endif()
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  file(CONFIGURE OUTPUT ${rc} CONTENT [=[
// Made at build time from the MORLIN_VERSION_INFO declaration in @source@.
@manifest@
1 VERSIONINFO
FILEVERSION @file_numbers@
PRODUCTVERSION @product_numbers@
FILEFLAGSMASK 0x3F
FILEFLAGS 0
FILEOS 0x40004
FILETYPE @file_type@
FILESUBTYPE 0
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "040904E4"
    BEGIN
      VALUE "FileDescription", "@description@"
      VALUE "FileVersion", "@file_version@"
      VALUE "InternalName", "@internal_name@"
      VALUE "OriginalFilename", "@original@"
      VALUE "ProductName", "@product_name@"
      VALUE "ProductVersion", "@product_version@"
      VALUE "LegalCopyright", "@copyright@"
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x0409, 1252
  END
END
]=] @ONLY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  target_sources(${target} PRIVATE ${rc})
endfunction()
