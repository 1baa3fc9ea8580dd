# What `cmake --install` puts under the prefix: the two programs, the media library beside them in lib/,
# the desktop entry, the icon (SVG and PNG sizes) and the manual. The desktop program looks for the manual
# where it is installed, then in this source tree (so that a build run from here finds it too).
include(GNUInstallDirs)

set_property(SOURCE ${CMAKE_SOURCE_DIR}/ui/Manual.cpp APPEND PROPERTY COMPILE_DEFINITIONS
  TQ9_MANUAL_INSTALLED_DIR="${CMAKE_INSTALL_FULL_DOCDIR}/manual"
  TQ9_MANUAL_SOURCE_DIR="${CMAKE_SOURCE_DIR}/docs/manual")

set_target_properties(tq9 tq9-image-converter PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
install(TARGETS tq9 tq9-image-converter RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS tq9media LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})

install(FILES ${CMAKE_CURRENT_LIST_DIR}/tq9-image-converter.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/tq9-image-converter.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# PNG sizes, drawn by the same code as the window's icon.
set(TQ9_ICON_SIZES 16 32 48 64 128 256)
add_executable(tq9-render-icons ${CMAKE_CURRENT_LIST_DIR}/RenderIcons.cpp)
target_link_libraries(tq9-render-icons PRIVATE tq9ui)
set(TQ9_ICON_DIR ${CMAKE_BINARY_DIR}/icons)
set(TQ9_ICON_PNGS)
foreach(size IN LISTS TQ9_ICON_SIZES)
  list(APPEND TQ9_ICON_PNGS ${TQ9_ICON_DIR}/tq9-image-converter-${size}.png)
endforeach()
add_custom_command(OUTPUT ${TQ9_ICON_PNGS}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${TQ9_ICON_DIR}
  COMMAND tq9-render-icons ${TQ9_ICON_DIR} ${TQ9_ICON_SIZES}
  DEPENDS tq9-render-icons VERBATIM)
add_custom_target(tq9-icons ALL DEPENDS ${TQ9_ICON_PNGS})
foreach(size IN LISTS TQ9_ICON_SIZES)
  install(FILES ${TQ9_ICON_DIR}/tq9-image-converter-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME tq9-image-converter.png)
endforeach()

install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/manual/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/manual)
