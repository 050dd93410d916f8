# sorrel_core: every rule of the program, without Qt Widgets. Included by the project and by
# the fuzz build, so both compile the same sources with their own flags.
set(SORREL_ROOT ${CMAKE_CURRENT_LIST_DIR}/..)
find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui SerialPort)
find_package(PkgConfig REQUIRED)
pkg_check_modules(HIDAPI REQUIRED IMPORTED_TARGET hidapi-hidraw)
pkg_check_modules(UDEV REQUIRED IMPORTED_TARGET libudev)

# Headers are listed too, so AUTOMOC sees every Q_OBJECT class, header-only ones included.
file(GLOB_RECURSE SORREL_CORE_SOURCES CONFIGURE_DEPENDS
  ${SORREL_ROOT}/src/base/*.cpp ${SORREL_ROOT}/src/base/*.h
  ${SORREL_ROOT}/src/app/*.cpp ${SORREL_ROOT}/src/link/*.cpp
  ${SORREL_ROOT}/src/decode/*.cpp ${SORREL_ROOT}/src/display/*.cpp
  ${SORREL_ROOT}/src/record/*.cpp
  ${SORREL_ROOT}/src/app/*.h ${SORREL_ROOT}/src/link/*.h
  ${SORREL_ROOT}/src/decode/*.h ${SORREL_ROOT}/src/display/*.h
  ${SORREL_ROOT}/src/record/*.h)
# Widget code lives in files named *_widget.* / *_gui.* and in gui/ folders.
list(FILTER SORREL_CORE_SOURCES EXCLUDE REGEX "(_widget|_gui)\\.(cpp|h)$|/gui/")
add_library(sorrel_core STATIC ${SORREL_CORE_SOURCES})
# The stub QtWidgets/qtwidgetsglobal.h comes first on the path and stops the build
# if anything in the core pulls in a Qt Widgets header.
set(SORREL_CORE_GUARD_DIR ${SORREL_ROOT}/cmake/no-widgets)
target_include_directories(sorrel_core BEFORE PRIVATE ${SORREL_CORE_GUARD_DIR})
target_include_directories(sorrel_core PUBLIC ${SORREL_ROOT}/src)
target_link_libraries(sorrel_core PUBLIC Qt6::Core Qt6::Gui Qt6::SerialPort
  PkgConfig::HIDAPI PkgConfig::UDEV)

