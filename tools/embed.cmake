# Turns a text file (or several, joined) into a C++ source holding it as one string.
# NAME is the array's name (quenz_viewer_script unless given).
if(NOT NAME)
  set(NAME quenz_viewer_script)
endif()
set(out "// Generated from ${IN}; edit that file instead.\nextern const char ${NAME}[];\nconst char ${NAME}[] = {\n")
# IN may name several files: they are joined, each ending in a newline.
set(hex "")
foreach(f ${IN})
  file(READ ${f} part HEX)
  string(APPEND hex "${part}0a")
endforeach()
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")
file(WRITE ${OUT} "${out}${hex}0x00};\n")
