# The image libraries the PNG (libpng), JPEG (libjpeg-turbo) and TIFF (libtiff) loader rows decode
# through: static libraries built from Debian's source packages by scripts/deps.sh into the same
# prefix as the sound libraries (vt_deps), unless another prefix holding them is given.
set(VT_IMAGE_DEPS_PREFIX "" CACHE PATH "Prefix holding libpng16.a, libjpeg.a and libtiff.a (empty: the deps prefix)")
set(vt_image_deps ${VT_IMAGE_DEPS_PREFIX})
if(NOT vt_image_deps)
  set(vt_image_deps ${vt_deps})
endif()
foreach(archive png16 jpeg tiff)
  if(NOT EXISTS ${vt_image_deps}/lib/lib${archive}.a)
    message(FATAL_ERROR "${vt_image_deps}/lib/lib${archive}.a is missing")
  endif()
endforeach()
# Ahead of the deps prefix, so that a prefix given here wins for the image headers.
target_include_directories(vantrel SYSTEM BEFORE PUBLIC ${vt_image_deps}/include)
target_link_libraries(vantrel PUBLIC ${vt_image_deps}/lib/libtiff.a ${vt_image_deps}/lib/libjpeg.a
                      ${vt_image_deps}/lib/libpng16.a z)
target_compile_definitions(vantrel PUBLIC VT_HAVE_LIBPNG=1 VT_HAVE_LIBJPEG=1 VT_HAVE_LIBTIFF=1)
