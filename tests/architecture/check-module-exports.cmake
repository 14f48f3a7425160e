# Fails when the account module exports anything of ours but its entries, or misses one: a host
# sees nothing else of the screen, the account contract or the framework's insides.
#   cmake -DMODULE=<libPKG_Acc00420.so> -P check-module-exports.cmake
cmake_minimum_required(VERSION 3.25)
set(entries IniProc CriaPagClie frmPagClie boStCriado boInsert stNrSequMovi dtDataMovto
    stTCDCONSUMIDOR stCDCONSUMIDOR)
# What the linker defines in every shared library.
set(linker_symbols _init _fini _edata _end __bss_start)

execute_process(COMMAND nm -D --defined-only "${MODULE}" OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "nm -D ${MODULE} failed")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${listing}")
set(exported "")
set(unexpected "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^[0-9a-f]+ " "" line "${line}") # type and name
  string(REGEX REPLACE "^.* " "" name "${line}")
  list(APPEND exported ${name})
  if(name IN_LIST entries OR name IN_LIST linker_symbols)
    continue()
  endif()
  # A C++ name is ours when it names the fw or acc00420 namespace; the typeinfo and vtables of
  # the framework's exported classes are the framework's, shared by every library that uses them.
  # Qt's and the standard library's inline code is theirs.
  if(NOT name MATCHES "^_Z" OR (name MATCHES "2fw|8acc00420" AND NOT name MATCHES "^_ZT[ISV]N2fw[0-9]+[A-Za-z_]+E$"))
    list(APPEND unexpected "${line}")
  endif()
endforeach()
foreach(entry IN LISTS entries)
  if(NOT entry IN_LIST exported)
    list(APPEND unexpected "${entry} (an entry, not exported)")
  endif()
endforeach()

if(unexpected)
  list(JOIN unexpected "\n" text)
  message(FATAL_ERROR "${MODULE} exports more or less than its entries:\n${text}")
endif()
message(STATUS "the module exports its entries and nothing else of ours")
