# Third-party pieces: GoogleTest built with our compiler, Boost headers through a folder that
# holds only the boost link (never the host's /usr/include on the cross include path), and
# Boost.Context's assembly for the coroutine slots.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
include(GoogleTest)

add_library(velquor_boost INTERFACE)
if(VELQUOR_WINDOWS)
  target_include_directories(velquor_boost SYSTEM INTERFACE ${VELQUOR_DEPS}/boost-include)
  target_link_libraries(velquor_boost INTERFACE ${VELQUOR_DEPS}/boost-context/libboost_context_mingw.a)
else()
  find_package(Boost 1.74 REQUIRED COMPONENTS context)
  target_link_libraries(velquor_boost INTERFACE Boost::headers Boost::context)
endif()

# libpng and zlib for the PNG decoder and writer: Debian's on the host; for Windows, zlib from
# libz-mingw-w64-dev and libpng built from Debian's source by scripts/setup.sh (static both).
add_library(velquor_libpng INTERFACE)
if(VELQUOR_WINDOWS)
  target_include_directories(velquor_libpng SYSTEM INTERFACE ${VELQUOR_DEPS}/libpng-mingw/include)
  target_link_libraries(velquor_libpng INTERFACE ${VELQUOR_DEPS}/libpng-mingw/lib/libpng16.a
                        /usr/i686-w64-mingw32/lib/libz.a)
else()
  find_package(PNG REQUIRED)
  find_package(ZLIB REQUIRED)
  target_link_libraries(velquor_libpng INTERFACE PNG::PNG ZLIB::ZLIB)
endif()
