# The application shell: the views (QML under app/qml, compiled into resources), the glue that
# hands them presentation rules, icons and the appearance, the executable and the screen renderer.
set(shell_dir ${CMAKE_CURRENT_LIST_DIR})
add_library(halvetrop_app_shell STATIC
  ${shell_dir}/Symbols.cpp ${shell_dir}/SystemIcons.cpp ${shell_dir}/HistoryRows.cpp ${shell_dir}/SettingsStore.cpp
  ${shell_dir}/Look.cpp ${shell_dir}/Present.cpp ${shell_dir}/Shell.cpp ${shell_dir}/FirstRows.cpp
  ${shell_dir}/HomeRules.cpp ${shell_dir}/Shadows.cpp ${shell_dir}/ReturnKey.cpp ${shell_dir}/KeyedList.cpp
  ${shell_dir}/Pointer.cpp ${shell_dir}/VideoFrames.cpp)
set_target_properties(halvetrop_app_shell PROPERTIES AUTOMOC ON)
target_include_directories(halvetrop_app_shell PUBLIC ${PROJECT_SOURCE_DIR}/app ${PROJECT_SOURCE_DIR}/core)
target_link_libraries(halvetrop_app_shell PUBLIC halvetrop_app_present Qt6::Gui Qt6::Qml Qt6::Quick Qt6::QuickControls2 Qt6::Svg
  Qt6::Multimedia)

file(GLOB_RECURSE shell_qml CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/app/qml/Halvetrop/*.qml ${PROJECT_SOURCE_DIR}/app/qml/Halvetrop/qmldir)
qt_add_resources(halvetrop_app_shell halvetrop_views PREFIX /qt/qml BASE ${PROJECT_SOURCE_DIR}/app/qml
  FILES ${shell_qml})
file(GLOB shell_icons CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/app/icons/*.svg)
list(APPEND shell_icons ${PROJECT_SOURCE_DIR}/app/halvetrop.svg)
qt_add_resources(halvetrop_app_shell halvetrop_icons PREFIX /halvetrop BASE ${PROJECT_SOURCE_DIR}/app
  FILES ${shell_icons})

# The views joined to the real model.
add_library(halvetrop_app_bridge STATIC ${shell_dir}/ModelBridge.cpp)
target_link_libraries(halvetrop_app_bridge PUBLIC halvetrop_app_shell halvetrop_app_model)

add_executable(halvetrop ${PROJECT_SOURCE_DIR}/app/main.cpp)
target_link_libraries(halvetrop PRIVATE halvetrop_app_bridge halvetrop_app_results halvetrop_thumbnail_views halvetrop_app_measure
  Qt6::Widgets)
set(HALVETROP_APP_VERSION 0.1.0)
target_compile_definitions(halvetrop PRIVATE HALVETROP_VERSION="${HALVETROP_APP_VERSION}")
# The application decodes no card file itself: without its helper it shows no picture at all.
add_dependencies(halvetrop halvetrop-thumbnailer)

add_executable(halvetrop-screens ${shell_dir}/Screens.cpp)
target_link_libraries(halvetrop-screens PRIVATE halvetrop_app_stage halvetrop_thumbnail_views Qt6::Widgets)
add_dependencies(halvetrop-screens halvetrop-thumbnailer)

# Under AddressSanitizer only the window suite runs, which needs neither the application nor the
# screen renderer: there they are built only when asked for by name.
if(HALVETROP_SANITIZE)
  set_target_properties(halvetrop halvetrop-screens PROPERTIES EXCLUDE_FROM_ALL TRUE)
endif()

install(TARGETS halvetrop RUNTIME DESTINATION bin)
install(FILES ${PROJECT_SOURCE_DIR}/app/halvetrop.desktop DESTINATION share/applications)
install(FILES ${PROJECT_SOURCE_DIR}/app/halvetrop.svg DESTINATION share/icons/hicolor/scalable/apps)
