# The thumbnail cache, the helper processes and the image provider, against the real helper, files
# made at test time and misbehaving stand-ins.
find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Quick Multimedia Test)
pkg_check_modules(CARD_FIXTURES REQUIRED IMPORTED_TARGET libheif libavformat libavcodec libavutil)
add_library(halvetrop_card_fixtures STATIC ${CMAKE_CURRENT_LIST_DIR}/CardFixtures.cpp)
target_link_libraries(halvetrop_card_fixtures PUBLIC Qt6::Gui PkgConfig::CARD_FIXTURES)
halvetrop_qttest(app_thumbnail_test SOURCES ThumbnailTest.cpp LIBS halvetrop_thumbnail_views halvetrop_card_fixtures)
target_compile_definitions(app_thumbnail_test PRIVATE HALVETROP_THUMBNAILER="$<TARGET_FILE:halvetrop-thumbnailer>")
add_dependencies(app_thumbnail_test halvetrop-thumbnailer)
halvetrop_qttest(app_card_atime_test SOURCES CardAtimeTest.cpp
  LIBS halvetrop_thumbnail_views halvetrop_card_fixtures halvetrop_app_model halvetrop_testsupport Qt6::Multimedia
  LABELS root)
target_compile_definitions(app_card_atime_test PRIVATE HALVETROP_THUMBNAILER="$<TARGET_FILE:halvetrop-thumbnailer>")
add_dependencies(app_card_atime_test halvetrop-thumbnailer)
