# Turns a text file into a C++ source holding it as one string.
file(READ ${IN} text)
string(LENGTH "${text}" n)
set(out "// Generated from ${IN}; edit that file instead.\nextern const char quenz_viewer_script[];\nconst char quenz_viewer_script[] = {\n")
file(READ ${IN} hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")
file(WRITE ${OUT} "${out}${hex}0x00};\n")
