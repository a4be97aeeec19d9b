# Thumbnails: the pipe to the helper process, the byte-bounded cache and the client that runs the
# helper; and the helper itself, which alone decodes card files.
set(thumb_dir ${CMAKE_CURRENT_LIST_DIR})
add_library(halvetrop_thumbnail_protocol STATIC ${thumb_dir}/Protocol.cpp ${thumb_dir}/Key.cpp)
target_include_directories(halvetrop_thumbnail_protocol PUBLIC ${PROJECT_SOURCE_DIR}/app)
target_link_libraries(halvetrop_thumbnail_protocol PUBLIC Qt6::Core)

add_library(halvetrop_thumbnail STATIC ${thumb_dir}/ThumbnailCache.cpp ${thumb_dir}/Thumbnailer.cpp)
set_target_properties(halvetrop_thumbnail PROPERTIES AUTOMOC ON)
target_link_libraries(halvetrop_thumbnail PUBLIC halvetrop_thumbnail_protocol Qt6::Core Qt6::Gui)

# The bounded walk over a RAW file's structure to its embedded previews (no Qt: it is fuzzed).
add_library(halvetrop_thumbnail_previews STATIC ${thumb_dir}/EmbeddedJpeg.cpp)
target_include_directories(halvetrop_thumbnail_previews PUBLIC ${PROJECT_SOURCE_DIR}/app)
target_link_libraries(halvetrop_thumbnail_previews PUBLIC halvetrop_capture)

find_package(PkgConfig REQUIRED)
pkg_check_modules(LIBRAW IMPORTED_TARGET libraw)
pkg_check_modules(LIBHEIF IMPORTED_TARGET libheif)
# Video frames: libavformat reads the open descriptor through an I/O context.
pkg_check_modules(FFMPEGTHUMBNAILER IMPORTED_TARGET libffmpegthumbnailer libavformat libavutil)
add_executable(halvetrop-thumbnailer ${PROJECT_SOURCE_DIR}/app/thumbnailer/main.cpp ${thumb_dir}/Decode.cpp)
target_link_libraries(halvetrop-thumbnailer PRIVATE halvetrop_thumbnail_protocol halvetrop_thumbnail_previews
  halvetrop_platform Qt6::Gui)
foreach(lib LIBRAW LIBHEIF FFMPEGTHUMBNAILER)
  if(${lib}_FOUND)
    target_link_libraries(halvetrop-thumbnailer PRIVATE PkgConfig::${lib})
    target_compile_definitions(halvetrop-thumbnailer PRIVATE HALVETROP_${lib}=1)
  endif()
endforeach()
install(TARGETS halvetrop-thumbnailer RUNTIME DESTINATION bin)

# The views' side: image URLs answered by the thumbnailer, and the ranges of previewed videos.
add_library(halvetrop_thumbnail_views STATIC ${thumb_dir}/ThumbnailProvider.cpp)
set_target_properties(halvetrop_thumbnail_views PROPERTIES AUTOMOC ON)
target_link_libraries(halvetrop_thumbnail_views PUBLIC halvetrop_thumbnail halvetrop_drives Qt6::Quick)
