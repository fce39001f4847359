# Checks the layers of docs/ARCHITECTURE.md on the includes: a program file
# includes headers of its own layer and of the layers it may use below it,
# never a test's, and only the layers that may use Qt include a Qt header.
#   cmake -DROOT=<source folder> -P LayerCheck.cmake
# Exits with an error that lists every include out of place.

cmake_minimum_required(VERSION 3.25)

if(NOT ROOT)
  message(FATAL_ERROR "LayerCheck: give -DROOT=<source folder>")
endif()

# Each layer and the layers it may include from ("velmora" is the generated
# version header). gif/render builds into one library with gif/.
set(layers platform/gdi platform/classes platform/richedit gif dict strokes hand platform/qt
           tools app)
set(uses_platform/gdi platform/gdi)
set(uses_platform/classes platform/classes platform/gdi)
set(uses_platform/richedit platform/richedit platform/classes platform/gdi)
set(uses_gif gif platform/classes platform/gdi)
set(uses_dict dict platform/richedit platform/classes platform/gdi)
set(uses_strokes strokes gif platform/classes platform/gdi)
set(uses_hand hand strokes platform/classes platform/gdi)
set(uses_platform/qt platform/qt strokes dict gif platform/richedit platform/classes
                     platform/gdi)
set(uses_tools tools hand strokes dict gif platform/richedit platform/classes platform/gdi
               velmora)
set(uses_app app platform/qt hand strokes dict gif platform/richedit platform/classes
             platform/gdi velmora)
# Qt below app/ and platform/qt/: only the window's rich-text view.
set(qt_layers app platform/qt)
set(qt_files platform/richedit/QtRichEdit.h platform/richedit/QtRichEdit.cpp
             platform/richedit/QtRichEditUser.cpp platform/richedit/QtColor.h
             platform/richedit/GbkQt.h platform/richedit/GbkQt.cpp)

# The layer a header path belongs to: platform/<x> or its first folder.
function(layer_of path out)
  if(path MATCHES "^(platform/[^/]+)/")
    set(${out} ${CMAKE_MATCH_1} PARENT_SCOPE)
  elseif(path MATCHES "^([^/]+)/")
    set(${out} ${CMAKE_MATCH_1} PARENT_SCOPE)
  else()
    set(${out} "" PARENT_SCOPE)
  endif()
endfunction()

set(faults "")
foreach(layer ${layers})
  file(GLOB_RECURSE files RELATIVE ${ROOT} ${ROOT}/${layer}/*.h ${ROOT}/${layer}/*.cpp)
  foreach(file ${files})
    file(STRINGS ${ROOT}/${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    foreach(line ${includes})
      if(line MATCHES "include[ \t]*\"([^\"]+)\"")
        set(header ${CMAKE_MATCH_1})
        layer_of(${header} used)
        # A header named without a folder is one beside the file.
        if(used STREQUAL "" OR used IN_LIST uses_${layer})
          continue()
        endif()
        string(REPLACE ";" ", " allowed "${uses_${layer}}")
        list(APPEND faults "${file}: includes ${header} (${layer} may use ${allowed})")
      elseif(line MATCHES "include[ \t]*<(Q[A-Za-z]*|qt[^>]*)>")
        if(layer IN_LIST qt_layers OR file IN_LIST qt_files)
          continue()
        endif()
        list(APPEND faults "${file}: includes the Qt header <${CMAKE_MATCH_1}>")
      endif()
    endforeach()
  endforeach()
endforeach()

if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "Includes out of their layer:\n  ${text}")
endif()
