# What a vendor installs: vpack (this native build) and both stubs, each
# built by its own MinGW configuration under this build folder, the way the
# win32 and win64 presets build them (MinSizeRel, the stub target only).
#   cmake --install build/release --prefix /opt/vantor
# puts bin/vpack, share/vantor/stub-i686.exe and share/vantor/stub-x86_64.exe.
include(ExternalProject)
include(GNUInstallDirs)

install(TARGETS vpack RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

foreach(arch IN ITEMS i686 x86_64)
  set(stub_build ${CMAKE_BINARY_DIR}/stub-${arch})
  ExternalProject_Add(stub_${arch}
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${stub_build}
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-${arch}.cmake
               -DCMAKE_BUILD_TYPE=MinSizeRel -DVANTOR_TESTS=OFF
    BUILD_COMMAND ${CMAKE_COMMAND} --build ${stub_build} --target stub
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${stub_build}/src/stub.exe)
  install(FILES ${stub_build}/src/stub.exe DESTINATION ${CMAKE_INSTALL_DATADIR}/vantor
          RENAME stub-${arch}.exe)
endforeach()

# A Debian package of the same files: cpack --config build/release/CPackConfig.cmake
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vantor-vpack)
set(CPACK_PACKAGE_CONTACT "Vantor maintainers <vantor@example.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "vpack, the Vantor package builder, with the i686 and x86_64 stubs")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
