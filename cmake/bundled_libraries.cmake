# The portable build: FFmpeg's static libraries from scripts/build-ffmpeg (or ORVANE_FFMPEG_PREFIX),
# under the same target name the system build uses, PkgConfig::FFMPEG, so nothing else changes.
# The script runs at every configure: it returns at once when its cached build exists.
if(WIN32)
  set(bundled_target windows)
else()
  set(bundled_target linux)
endif()
# Sets `variable` to `given` when set, else to the prefix the build script prints as its last line.
function(orvane_bundled_prefix variable given script)
  if(given)
    set(${variable} ${given} PARENT_SCOPE)
    return()
  endif()
  message(STATUS "Static library: scripts/${script} ${bundled_target} (the first build takes minutes)")
  execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/${script} ${bundled_target}
    OUTPUT_VARIABLE output RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "scripts/${script} ${bundled_target} failed")
  endif()
  string(STRIP "${output}" output)
  string(REGEX REPLACE "^.*\n" "" output "${output}")
  set(${variable} ${output} PARENT_SCOPE)
endfunction()

orvane_bundled_prefix(ORVANE_FFMPEG_INSTALL "${ORVANE_FFMPEG_PREFIX}" build-ffmpeg)
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
