# tools/check_layers.cmake on small trees of its own: the allowed includes
# pass, and each forbidden one is named (a check that passes everything
# would go unnoticed in the build).
#
#   cmake -DSOURCE=<source dir> -DWORK=<scratch dir> -P tests/layers-check.cmake

set(failures "")

# Runs the check on a tree whose files are given as pairs: path, content.
# EXPECT is "" for a clean tree, else a text the message must contain.
function(case name expect)
  set(root ${WORK}/${name})
  file(REMOVE_RECURSE ${root})
  foreach(d imgclass/core imgclass/system imgclass/fit render binding/runtime binding/classes display quenz-view python)
    file(MAKE_DIRECTORY ${root}/${d})
  endforeach()
  # Headers the includes below may name.
  foreach(h imgclass/core/imgbase.h imgclass/system/error.h imgclass/fit/qr.h render/render.h binding/runtime.h binding/runtime/errors.h display/viewer.h quenz-view/notify.h)
    file(WRITE ${root}/${h} "#pragma once\n")
  endforeach()
  set(files ${ARGN})
  while(files)
    list(POP_FRONT files path text)
    file(WRITE ${root}/${path} "${text}\n")
  endwhile()
  execute_process(COMMAND ${CMAKE_COMMAND} -DROOT=${root} -P ${SOURCE}/tools/check_layers.cmake
                  RESULT_VARIABLE rc ERROR_VARIABLE err OUTPUT_QUIET)
  string(REGEX REPLACE "[ \n]+" " " err "${err}")
  if(expect STREQUAL "")
    if(NOT rc EQUAL 0)
      string(APPEND failures "\n${name}: refused a clean tree: ${err}")
    endif()
  elseif(rc EQUAL 0)
    string(APPEND failures "\n${name}: passed, expected \"${expect}\"")
  else()
    string(FIND "${err}" "${expect}" at)
    if(at LESS 0)
      string(APPEND failures "\n${name}: expected \"${expect}\", got: ${err}")
    endif()
  endif()
  set(failures "${failures}" PARENT_SCOPE)
endfunction()

case(clean ""
  render/picture.cpp "#include \"render.h\"\n#include \"imgclass/core/imgbase.h\"\n#include <cmath>"
  binding/classes/formats.cpp "#include <tcl.h>\n#include \"render/render.h\"\n#include \"binding/runtime.h\""
  binding/init.cpp "#include <tk.h>"
  display/photo.cpp "#include <tk.h>\n#include \"binding/runtime.h\"\n#include \"render/render.h\""
  imgclass/formats/tiff.cpp "#include <tiffio.h>\n#include \"imgclass/core/imgbase.h\"\n#include \"imgclass/system/error.h\""
  quenz-view/main.cpp "#include <tk.h>\n#include \"display/viewer.h\"\n#include \"quenz-view/notify.h\"")
case(tcl_in_render "render/picture.cpp includes tcl.h: render/ is plain C++"
  render/picture.cpp "#include <tcl.h>")
case(tk_in_imgclass "imgclass/core/x.cpp includes tkInt.h: imgclass/ is plain C++"
  imgclass/core/x.cpp "  #  include <tkInt.h>")
case(render_up "render/picture.cpp includes binding/runtime.h: render/ includes nothing from binding/"
  render/picture.cpp "#include \"binding/runtime.h\"")
case(imgclass_up_relative "imgclass/core/x.h includes ../../render/render.h: imgclass/ includes nothing from render/"
  imgclass/core/x.h "#include \"../../render/render.h\"")
case(imgclass_folder_up "imgclass/system/x.cpp includes imgclass/core/imgbase.h: imgclass/system/ includes only from lower folders"
  imgclass/system/x.cpp "#include \"imgclass/core/imgbase.h\"")
case(imgclass_folder_sideways "imgclass/formats/x.cpp includes imgclass/fit/qr.h: imgclass/formats/ includes only from lower folders"
  imgclass/formats/x.cpp "#include \"imgclass/fit/qr.h\"")
case(library_to_program "display/viewer.cpp includes quenz-view/notify.h: display/ includes nothing from quenz-view/"
  display/viewer.cpp "#include \"quenz-view/notify.h\"")
case(program_to_binding "quenz-view/main.cpp includes binding/runtime.h: quenz-view/ reaches the binding through Tcl commands"
  quenz-view/main.cpp "#include \"binding/runtime.h\"")
case(binding_to_display "binding/classes/formats.cpp includes display/viewer.h: binding/ includes nothing from display/"
  binding/classes/formats.cpp "#include \"display/viewer.h\"")
case(tk_in_binding "binding/classes/draw.cpp includes tk.h: binding/ knows no Tk"
  binding/classes/draw.cpp "#include <tk.h>")
case(display_internal "display/viewcmds.cpp includes binding/runtime/errors.h: display/ reaches binding/ only through binding/runtime.h"
  display/viewcmds.cpp "#include \"binding/runtime/errors.h\"")
case(python_clean ""
  python/module.cpp "#include <pybind11/pybind11.h>\n#include \"imgclass/core/imgbase.h\"\n#include \"render/render.h\"")
case(tcl_in_python "python/module.cpp includes tcl.h: python/ is plain C++"
  python/module.cpp "#include <tcl.h>")
case(python_to_binding "python/module.cpp includes binding/runtime.h: python/ includes nothing from binding/"
  python/module.cpp "#include \"binding/runtime.h\"")

file(REMOVE_RECURSE ${WORK})
if(failures)
  message(FATAL_ERROR "layer check:${failures}")
endif()
message(STATUS "layer check: 15 trees as expected")
