# What `cmake --install` puts in place: mpegdec and its man page (tools/mpegdec), the input
# module as a plug-in in <libdir>/mpegin, the mpegaudio library static (libmpegaudio.a) and
# shared (libmpegaudio.so.1) with its public headers only under <includedir>/mpegaudio, and a
# pkg-config file for the library.
include(GNUInstallDirs)

install(TARGETS mpegaudio ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
if(TARGET mpegaudio_shared)
  install(TARGETS mpegaudio_shared LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()
# The C interface, and the C++ layer over it where there is one.
file(GLOB MPEGAUDIO_PUBLIC_HEADERS ${PROJECT_SOURCE_DIR}/include/mpegaudio/*.h
     ${PROJECT_SOURCE_DIR}/include/mpegaudio/*.hpp)
install(FILES ${MPEGAUDIO_PUBLIC_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/mpegaudio)
if(TARGET mpeginput)
  install(TARGETS mpeginput LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/mpegin)
  install(FILES ${PROJECT_SOURCE_DIR}/src/host/mpeginput.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/mpegin)
endif()

# The pkg-config file finds the prefix from its own place, so that it holds wherever the
# tree is installed (cmake --install --prefix, DESTDIR staging).
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(MPEGIN_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  set(MPEGIN_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
else()
  file(RELATIVE_PATH pc_to_prefix "/root/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/root")
  string(REGEX REPLACE "/$" "" pc_to_prefix "${pc_to_prefix}")
  set(MPEGIN_PC_PREFIX "\${pcfiledir}/${pc_to_prefix}")
  set(MPEGIN_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
endif()
if(IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(MPEGIN_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
else()
  set(MPEGIN_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/mpegaudio.pc.in ${PROJECT_BINARY_DIR}/mpegaudio.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/mpegaudio.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
