# Fails when the application server links Qt Gui or Qt Widgets: it runs on machines without
# a display.   cmake -DSERVER=<acc00420-server> -P check-server-links.cmake
execute_process(COMMAND ldd "${SERVER}" OUTPUT_VARIABLE linked RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "ldd ${SERVER} failed")
endif()
if(linked MATCHES "libQt6(Gui|Widgets|PrintSupport)")
  message(FATAL_ERROR "acc00420-server links ${CMAKE_MATCH_0}:\n${linked}")
endif()
if(NOT linked MATCHES "libQt6Core")
  message(FATAL_ERROR "unexpected ldd output:\n${linked}")
endif()
message(STATUS "acc00420-server links no Gui and no Widgets")
