# The portable build: FFmpeg's static libraries from scripts/build-ffmpeg (or ORVANE_FFMPEG_PREFIX),
# under the same target name the system build uses, PkgConfig::FFMPEG, so nothing else changes.
# The script runs at every configure: it returns at once when its cached build exists.
if(ORVANE_FFMPEG_PREFIX)
  set(ORVANE_FFMPEG_INSTALL ${ORVANE_FFMPEG_PREFIX})
else()
  if(WIN32)
    set(ffmpeg_target windows)
  else()
    set(ffmpeg_target linux)
  endif()
  message(STATUS "Minimal static FFmpeg: scripts/build-ffmpeg ${ffmpeg_target} (the first build takes minutes)")
  execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/build-ffmpeg ${ffmpeg_target}
    OUTPUT_VARIABLE ffmpeg_output RESULT_VARIABLE ffmpeg_result)
  if(NOT ffmpeg_result EQUAL 0)
    message(FATAL_ERROR "scripts/build-ffmpeg ${ffmpeg_target} failed")
  endif()
  string(STRIP "${ffmpeg_output}" ffmpeg_output)
  string(REGEX REPLACE "^.*\n" "" ORVANE_FFMPEG_INSTALL "${ffmpeg_output}")
endif()
if(NOT EXISTS ${ORVANE_FFMPEG_INSTALL}/lib/pkgconfig/libavcodec.pc)
  message(FATAL_ERROR "no FFmpeg installed in ${ORVANE_FFMPEG_INSTALL}")
endif()
set(ORVANE_FFMPEG_INSTALL ${ORVANE_FFMPEG_INSTALL} CACHE INTERNAL "The static FFmpeg this build links (for scripts/release-tarball)")
message(STATUS "Minimal static FFmpeg: ${ORVANE_FFMPEG_INSTALL}")

# Only this prefix's .pc files, and their static link lines (-pthread -lm on Linux, the Windows
# system libraries for a cross build).
set(ENV{PKG_CONFIG_LIBDIR} ${ORVANE_FFMPEG_INSTALL}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
pkg_check_modules(FFMPEG REQUIRED libavcodec libavformat libavutil)

# FFmpeg's own libraries by their archive's full path, so no shared library of the same name can
# stand in for them; everything else pkg-config names (system libraries) as it names it.
set(ffmpeg_link_libraries)
foreach(library IN LISTS FFMPEG_STATIC_LIBRARIES)
  if(EXISTS ${ORVANE_FFMPEG_INSTALL}/lib/lib${library}.a)
    list(APPEND ffmpeg_link_libraries ${ORVANE_FFMPEG_INSTALL}/lib/lib${library}.a)
  else()
    list(APPEND ffmpeg_link_libraries ${library})
  endif()
endforeach()
add_library(PkgConfig::FFMPEG INTERFACE IMPORTED)
target_include_directories(PkgConfig::FFMPEG INTERFACE ${FFMPEG_STATIC_INCLUDE_DIRS})
target_compile_options(PkgConfig::FFMPEG INTERFACE ${FFMPEG_STATIC_CFLAGS_OTHER})
target_link_libraries(PkgConfig::FFMPEG INTERFACE ${ffmpeg_link_libraries})
target_link_options(PkgConfig::FFMPEG INTERFACE ${FFMPEG_STATIC_LDFLAGS_OTHER})
