# Turns a text file into a C++ source holding it as one string.
# NAME is the array's name (quenz_viewer_script unless given).
if(NOT NAME)
  set(NAME quenz_viewer_script)
endif()
set(out "// Generated from ${IN}; edit that file instead.\nextern const char ${NAME}[];\nconst char ${NAME}[] = {\n")
file(READ ${IN} hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")
file(WRITE ${OUT} "${out}${hex}0x00};\n")
