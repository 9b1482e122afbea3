# zlib: the system's package natively, the static MinGW one for Windows
# (libz-mingw-w64-dev), so the stub does not depend on a zlib DLL.
if(VANTOR_WINDOWS)
  find_library(VANTOR_ZLIB_STATIC NAMES libz.a REQUIRED)
  add_library(vantor_zlib STATIC IMPORTED)
  set_target_properties(vantor_zlib PROPERTIES IMPORTED_LOCATION "${VANTOR_ZLIB_STATIC}")
else()
  find_package(ZLIB REQUIRED)
  add_library(vantor_zlib INTERFACE)
  target_link_libraries(vantor_zlib INTERFACE ZLIB::ZLIB)
endif()
