# The image libraries the PNG (libpng), JPEG (libjpeg-turbo) and TIFF (libtiff) loader rows decode
# through: static libraries in a prefix (include/, lib/) built from Debian's source packages. Without
# a prefix those rows refuse every file and the library's own PNG decoder and WIC serve alone.
set(VT_IMAGE_DEPS_PREFIX "" CACHE PATH "Prefix holding libpng16.a, libjpeg.a and libtiff.a (empty: none)")
if(VT_IMAGE_DEPS_PREFIX)
  foreach(archive png16 jpeg tiff)
    if(NOT EXISTS ${VT_IMAGE_DEPS_PREFIX}/lib/lib${archive}.a)
      message(FATAL_ERROR "VT_IMAGE_DEPS_PREFIX: ${VT_IMAGE_DEPS_PREFIX}/lib/lib${archive}.a is missing")
    endif()
  endforeach()
  target_include_directories(vantrel SYSTEM PUBLIC ${VT_IMAGE_DEPS_PREFIX}/include)
  target_link_libraries(vantrel PUBLIC ${VT_IMAGE_DEPS_PREFIX}/lib/libtiff.a ${VT_IMAGE_DEPS_PREFIX}/lib/libjpeg.a
                        ${VT_IMAGE_DEPS_PREFIX}/lib/libpng16.a z)
  target_compile_definitions(vantrel PUBLIC VT_HAVE_LIBPNG=1 VT_HAVE_LIBJPEG=1 VT_HAVE_LIBTIFF=1)
endif()
