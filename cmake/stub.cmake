# stub.exe: the Win32 front end, kept small (every byte ships with every
# package): -Oz (g++ 12), section garbage collection, static runtime, stripped.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

add_executable(stub ${CMAKE_CURRENT_SOURCE_DIR}/app/main_win.cpp
                    ${CMAKE_CURRENT_SOURCE_DIR}/app/stub_runtime_win.cpp
                    ${CMAKE_CURRENT_SOURCE_DIR}/app/res/stub.rc)
# windres reads the manifest and the icon through stub.rc.
set_property(SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/app/res/stub.rc APPEND PROPERTY OBJECT_DEPENDS
             ${CMAKE_CURRENT_SOURCE_DIR}/app/res/stub.manifest
             ${CMAKE_CURRENT_SOURCE_DIR}/app/res/main.ico)
# The stub is optimised as one program at link time (LTO, in one partition),
# which keeps only what it calls and shares what its files repeat: 35 KB.
# It gets its own copy of the library for that: MinGW's linker cannot mix
# LTO objects with plain ones that define the same inline functions
# (std::string's members), as vpack.exe and the test programs would.
add_library(vantor_core_lto STATIC ${core_sources})
target_include_directories(vantor_core_lto PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(vantor_core_lto PUBLIC vantor_inflate)
target_link_libraries(stub PRIVATE vantor_core_lto)
# No C++ exceptions in Windows code: the unwinder and its tables cost more
# than the rest of the runtime together (see stub_runtime_win.cpp).
set(stub_flags -Oz -ffunction-sections -fdata-sections -fno-exceptions -fno-asynchronous-unwind-tables
               -fno-threadsafe-statics -fno-rtti
               # No private "unified" constructors and destructors, which -Oz
               # makes on PE targets: each file kept its own copy of
               # std::string's (6.5 KB without LTO), and with LTO they make
               # g++ 12 fail (internal compiler error in binds_to_current_def_p).
               -fno-declone-ctor-dtor
               # Inline only where it does not grow the code or the stack
               # frame (4.6 KB).
               --param=max-inline-insns-size=1 -finline-limit=0 -fconserve-stack
               -include ${CMAKE_CURRENT_SOURCE_DIR}/app/runtime_messages_off.h)
target_compile_options(vantor_core PRIVATE ${stub_flags})
target_compile_options(stub PRIVATE ${stub_flags})
target_compile_options(vantor_core_lto PRIVATE ${stub_flags})
# zlib's inflate, built here so that link-time optimisation keeps only what
# the stub calls (16 KB less than MinGW's prebuilt libz.a; third_party/zlib).
set(zlib_dir ${PROJECT_SOURCE_DIR}/third_party/zlib)
add_library(vantor_inflate STATIC ${zlib_dir}/adler32.c ${zlib_dir}/inflate.c ${zlib_dir}/inffast.c
                                  ${zlib_dir}/inftrees.c ${zlib_dir}/zutil.c)
target_include_directories(vantor_inflate SYSTEM PUBLIC ${zlib_dir})
# zlib streams only: no gzip header, so no CRC-32 code or tables.
target_compile_definitions(vantor_inflate PRIVATE NO_GZIP)
target_compile_options(vantor_inflate PRIVATE -Oz -ffunction-sections -fdata-sections
                       -fno-asynchronous-unwind-tables)
# CMake adds -flto and archives the library with the compiler's gcc-ar.
set_property(TARGET stub vantor_core_lto vantor_inflate PROPERTY INTERPROCEDURAL_OPTIMIZATION ON)
target_link_options(stub PRIVATE -mwindows -static -s -Wl,--gc-sections -flto-partition=one -Oz
                   -Wl,-T,${PROJECT_SOURCE_DIR}/cmake/stub_no_unwind_tables.ld)
set_property(TARGET stub APPEND PROPERTY LINK_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/stub_no_unwind_tables.ld)
foreach(lib IN ITEMS vantor_core vantor_core_lto)
  target_link_libraries(${lib} PUBLIC comctl32 gdi32 user32 kernel32 shell32 advapi32 version)
endforeach()
add_custom_command(TARGET stub POST_BUILD
  COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/cmake/move_pe_header.py $<TARGET_FILE:stub>
  COMMENT "Moving the PE headers of stub.exe to offset 256")
