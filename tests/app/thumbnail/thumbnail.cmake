# The thumbnail cache and helper process, against the real helper and misbehaving stand-ins.
halvetrop_qttest(app_thumbnail_test SOURCES ThumbnailTest.cpp LIBS halvetrop_thumbnail)
target_compile_definitions(app_thumbnail_test PRIVATE HALVETROP_THUMBNAILER="$<TARGET_FILE:halvetrop-thumbnailer>")
add_dependencies(app_thumbnail_test halvetrop-thumbnailer)
