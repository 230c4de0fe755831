# Builds the user guide page: the Markdown source turned into HTML by cmark-gfm (tables on),
# inside a small page of its own. Called with -DCMARK_GFM=... -DINPUT=... -DOUTPUT=....
execute_process(COMMAND ${CMARK_GFM} --extension table --to html ${INPUT}
                OUTPUT_VARIABLE body RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmark-gfm failed on ${INPUT}: ${result}")
endif()
file(WRITE ${OUTPUT} "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
     "<title>Morlin: user guide</title>\n<style>body{font-family:sans-serif;max-width:46em;"
     "margin:2em auto;padding:0 1em;line-height:1.45}table{border-collapse:collapse}"
     "td,th{border:1px solid #999;padding:.2em .6em}code{background:#eee}</style>\n"
     "</head>\n<body>\n${body}</body>\n</html>\n")
