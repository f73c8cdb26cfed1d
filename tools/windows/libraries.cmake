# The roster's libraries in the Windows build, found in the cross-built prefix
# (tools/windows/build-libs.sh) and named as the pkg-config lookups of the Linux build name
# them, so the folders' build files link the same targets on both systems.
find_package(libzip CONFIG REQUIRED)
find_package(ZLIB REQUIRED)
find_path(VELQUOR_DEFLATE_INCLUDE_DIR libdeflate.h REQUIRED)
# libdeflate's own makefile names its static Windows library libdeflatestatic.lib.
find_library(VELQUOR_DEFLATE_LIBRARY NAMES libdeflatestatic deflatestatic deflate REQUIRED)

add_library(PkgConfig::VELQUOR_ZIP INTERFACE IMPORTED GLOBAL)
target_link_libraries(PkgConfig::VELQUOR_ZIP INTERFACE libzip::zip)
add_library(PkgConfig::VELQUOR_ZLIB INTERFACE IMPORTED GLOBAL)
target_link_libraries(PkgConfig::VELQUOR_ZLIB INTERFACE ZLIB::ZLIB)
add_library(PkgConfig::VELQUOR_DEFLATE UNKNOWN IMPORTED GLOBAL)
set_target_properties(PkgConfig::VELQUOR_DEFLATE PROPERTIES IMPORTED_LOCATION ${VELQUOR_DEFLATE_LIBRARY}
                      INTERFACE_INCLUDE_DIRECTORIES ${VELQUOR_DEFLATE_INCLUDE_DIR})
