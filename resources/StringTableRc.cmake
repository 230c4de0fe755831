# cmake -DINPUT=strings.txt -DOUTPUT=morlnres_strings.rc -P StringTableRc.cmake
# Writes the texts of strings.txt as the STRINGTABLE statements of a Windows resource script:
# one table per language, so that windres builds the same string-table blocks that the Linux
# resource image carries. The script is UTF-8 (code page 65001); windres stores UTF-16.
file(STRINGS ${INPUT} lines ENCODING UTF-8)
set(english "")
set(german "")
foreach(line IN LISTS lines)
  if(line MATCHES "^([0-9]+) (en|de) (.*)$")
    set(number ${CMAKE_MATCH_1})
    set(language ${CMAKE_MATCH_2})
    # strings.txt escapes \n \r \t \\ as C does, which the resource compiler reads alike;
    # a quote is doubled in a resource script.
    string(REPLACE "\"" "\"\"" text "${CMAKE_MATCH_3}")
    if(language STREQUAL "en")
      string(APPEND english "  ${number}, \"${text}\"\n")
    else()
      string(APPEND german "  ${number}, \"${text}\"\n")
    endif()
  endif()
endforeach()
file(WRITE ${OUTPUT} "// Made at build time from strings.txt.\n#pragma code_page(65001)\n"
     "LANGUAGE 0x09, 0x01\nSTRINGTABLE\nBEGIN\n${english}END\n\n"
     "LANGUAGE 0x07, 0x01\nSTRINGTABLE\nBEGIN\n${german}END\n")
