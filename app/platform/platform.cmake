# QtNetwork for the local socket of the single-instance guard.
find_package(Qt6 6.4 REQUIRED COMPONENTS Network)
file(GLOB app_platform_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
add_library(halvetrop_app_platform STATIC ${app_platform_sources} ${CMAKE_CURRENT_LIST_DIR}/Platform.h ${CMAKE_CURRENT_LIST_DIR}/Account.h ${CMAKE_CURRENT_LIST_DIR}/Fakes.h ${CMAKE_CURRENT_LIST_DIR}/LinuxServices.h ${CMAKE_CURRENT_LIST_DIR}/DBusTypes.h)
target_include_directories(halvetrop_app_platform PUBLIC ${PROJECT_SOURCE_DIR}/app ${PROJECT_SOURCE_DIR}/core)
target_link_libraries(halvetrop_app_platform PUBLIC halvetrop_core Qt6::Core Qt6::Gui Qt6::Widgets Qt6::DBus Qt6::Network)
# The device manager's announcements of block devices (libudev), which the volume monitor follows.
target_link_libraries(halvetrop_app_platform PRIVATE PkgConfig::UDEV)
