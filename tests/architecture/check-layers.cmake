# Fails when a file includes a layer above its own. The layers, lowest first:
#   framework/core < framework/data < framework/ui < framework/report
# The account contract and the server stand on framework/data and include no widget.
#   cmake -DROOT=<source dir> -P check-layers.cmake
set(layers core data ui report)
set(failures "")

function(check_folder folder allowed_top forbid_widgets)
  file(GLOB_RECURSE files "${ROOT}/${folder}/*.h" "${ROOT}/${folder}/*.cpp")
  list(FIND layers ${allowed_top} top)
  foreach(file IN LISTS files)
    file(STRINGS "${file}" includes REGEX "^#include")
    foreach(line IN LISTS includes)
      if(line MATCHES "<framework/([a-z]+)/")
        list(FIND layers ${CMAKE_MATCH_1} used)
        if(used GREATER top)
          list(APPEND failures "${file}: ${line} (above framework/${allowed_top})")
        endif()
      endif()
      if(forbid_widgets AND line MATCHES "<Q(Widget|Application|Gui|Painter|Dialog|MainWindow|MdiArea|Printer)")
        list(APPEND failures "${file}: ${line} (a widget or Gui header)")
      endif()
    endforeach()
  endforeach()
  set(failures "${failures}" PARENT_SCOPE)
endfunction()

check_folder(framework/core core TRUE)
check_folder(framework/data data TRUE)
check_folder(framework/ui ui FALSE)
check_folder(framework/report report FALSE)
check_folder(contract data TRUE)
check_folder(server data TRUE)

if(failures)
  list(JOIN failures "\n" text)
  message(FATAL_ERROR "A layer includes one above it:\n${text}")
endif()
message(STATUS "layers: every include stands on its own layer or below")
