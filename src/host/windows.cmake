# The Windows build of the module (included by src/host/CMakeLists.txt for WIN32 targets):
# the Windows platform layer, the dialog resource, and an export table with fixed ordinals,
# plain names and the export directory's module name "Vada32*ZE3.duv". The exports use the
# standard calling convention; on 32-bit x86 the module definition file names each export's
# decorated symbol (_Name@bytes), so the link fails if an export's convention or argument
# size changes.

file(GLOB MPEGIN_WINDOWS_PLATFORM_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/platform/windows/*.cpp)

# Export name, ordinal, bytes of arguments, and the symbol that implements it.
set(MPEGIN_EXPORT_TABLE
  "RadozErezEduzad 2 4 RadozErezEduzad"
  "OpenFilterOutput 3 28 OpenFilterOutput"
  "CloseFilterOutput 4 4 CloseFilterOutput"
  "WriteFilterOutput 5 12 WriteFilterOutput"
  "OpenFilterInput 6 24 OpenFilterInput"
  "CloseFilterInput 7 4 CloseFilterInput"
  "ReadFilterInput 8 12 ReadFilterInput"
  "FilterUnderstandsFormat 9 4 FilterUnderstandsFormat"
  "FilterCanWriteSpecial 10 8 FilterCanReadSpecial"   # one entry for 10 and 11
  "FilterCanReadSpecial 11 8 FilterCanReadSpecial"
  "FilterWriteSpecial 12 16 FilterReadSpecial"        # one entry for 12 and 13
  "FilterReadSpecial 13 16 FilterReadSpecial"
  "FilterOptions 15 4 FilterOptions"
  "FilterGetFileSize 16 4 FilterGetFileSize"
  "FilterOptionsString 17 8 FilterOptionsString"
  "DIALOGMsgProc 20 16 DIALOGMsgProc"
  "FilterGetOptions 30 24 FilterGetOptions"
  "FilterSetOptions 31 20 FilterSetOptions"
  "FilterSetOptions2 32 20 FilterSetOptions2"
  "GetSuggestedSampleType 33 12 GetSuggestedSampleType"
  "FilterGetActualFormat 34 20 FilterGetActualFormat")

set(MPEGIN_DEF_TEXT "LIBRARY \"Vada32*ZE3.duv\"\nEXPORTS\n")
foreach(entry IN LISTS MPEGIN_EXPORT_TABLE)
  separate_arguments(fields UNIX_COMMAND "${entry}")
  list(GET fields 0 export_name)
  list(GET fields 1 ordinal)
  list(GET fields 2 argument_bytes)
  list(GET fields 3 symbol)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(symbol "${symbol}@${argument_bytes}")
  endif()
  string(APPEND MPEGIN_DEF_TEXT "  ${export_name} = ${symbol} @${ordinal}\n")
endforeach()
set(MPEGIN_DEF_FILE ${CMAKE_CURRENT_BINARY_DIR}/mpeginput.def)
file(GENERATE OUTPUT ${MPEGIN_DEF_FILE} CONTENT "${MPEGIN_DEF_TEXT}")

target_sources(mpeginput PRIVATE
  ${MPEGIN_WINDOWS_PLATFORM_SOURCES}
  ${PROJECT_SOURCE_DIR}/resources/mpeginput.rc
  ${MPEGIN_DEF_FILE})
target_link_libraries(mpeginput PRIVATE user32 kernel32)
# mpeginput.dll, not libmpeginput.dll; no time stamp, so that equal sources give equal bytes.
set_target_properties(mpeginput PROPERTIES PREFIX "" OUTPUT_NAME mpeginput)
target_link_options(mpeginput PRIVATE -Wl,--no-insert-timestamp)
