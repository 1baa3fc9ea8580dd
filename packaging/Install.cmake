# What `cmake --install` and the Debian package (scripts/package) put under the prefix: the two programs in
# bin/, the media library in the package's own lib/<multiarch>/tq9-image-converter/ (found through RUNPATH:
# a private folder outside the linker's search path, so the package needs no ldconfig scripts), the desktop
# entry, AppStream metainfo, icons, man pages, bash completion, the manual in the program's data folder
# share/tq9-image-converter/manual/ (shown by the program itself; /usr/share/doc may be left out of minimal
# installations), copyright and changelog in share/doc/tq9-image-converter/. No installed file holds a path of the build or source tree: the programs
# find the library and the manual relative to their own location.
include(GNUInstallDirs)
set(TQ9_PACKAGE tq9-image-converter)
if(CMAKE_LIBRARY_ARCHITECTURE)
  set(TQ9_PRIVATE_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE}/${TQ9_PACKAGE})
else()
  set(TQ9_PRIVATE_LIBDIR lib/${TQ9_PACKAGE})
endif()
set(TQ9_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/${TQ9_PACKAGE})
set(TQ9_DATADIR ${CMAKE_INSTALL_DATAROOTDIR}/${TQ9_PACKAGE})
# The day this version was released (AppStream releases, the package's changelog).
set(TQ9_RELEASE_DATE 2026-12-07)
set(TQ9_MAINTAINER "TQ-9 Image Converter developers <developers@tq9-image-converter.example>" CACHE STRING
    "the package's maintainer")
execute_process(COMMAND date -R -u -d "${TQ9_RELEASE_DATE} 12:00" OUTPUT_VARIABLE TQ9_RELEASE_DATE_RFC2822
                OUTPUT_STRIP_TRAILING_WHITESPACE)

# The build tree has the installed layout's manual folder too (bin/../share/tq9-image-converter/manual),
# linked to the source.
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/${TQ9_DATADIR})
file(CREATE_LINK ${CMAKE_SOURCE_DIR}/docs/manual ${CMAKE_BINARY_DIR}/${TQ9_DATADIR}/manual SYMBOLIC)

set_target_properties(tq9 tq9-image-converter PROPERTIES INSTALL_RPATH "$ORIGIN/../${TQ9_PRIVATE_LIBDIR}")
install(TARGETS tq9 tq9-image-converter RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS tq9media LIBRARY DESTINATION ${TQ9_PRIVATE_LIBDIR}
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
# Stripped as Debian's dh_strip does: the .comment and .note sections go too (the package strips).
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    foreach(file ${CMAKE_INSTALL_BINDIR}/tq9 ${CMAKE_INSTALL_BINDIR}/tq9-image-converter ${TQ9_PRIVATE_LIBDIR}/libtq9media.so)
      execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
                              \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${file}\")
    endforeach()
  endif()")
install(FILES ${CMAKE_CURRENT_LIST_DIR}/tq9-image-converter.lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME ${TQ9_PACKAGE})

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
foreach(size IN LISTS TQ9_ICON_SIZES)
  install(FILES ${TQ9_ICON_DIR}/tq9-image-converter-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME tq9-image-converter.png)
endforeach()

# Files that carry the version and dates, filled in at configure time; man pages and the changelog are
# compressed the way Debian wants them (gzip -9, no name or time stamp).
set(TQ9_PACKAGING_OUT ${CMAKE_BINARY_DIR}/packaging)
configure_file(${CMAKE_CURRENT_LIST_DIR}/tq9-image-converter.metainfo.xml.in
               ${TQ9_PACKAGING_OUT}/tq9-image-converter.metainfo.xml @ONLY)
set(TQ9_GZIPPED)
foreach(page tq9.1 tq9-image-converter.1 changelog)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/${page}.in ${TQ9_PACKAGING_OUT}/${page} @ONLY)
  add_custom_command(OUTPUT ${TQ9_PACKAGING_OUT}/${page}.gz
    COMMAND gzip -9nf -k ${TQ9_PACKAGING_OUT}/${page}
    DEPENDS ${TQ9_PACKAGING_OUT}/${page} VERBATIM)
  list(APPEND TQ9_GZIPPED ${TQ9_PACKAGING_OUT}/${page}.gz)
endforeach()
# Part of "all" (what `cmake --install` and scripts/package need); scripts/run builds only the programs.
add_custom_target(tq9-install-files ALL DEPENDS ${TQ9_ICON_PNGS} ${TQ9_GZIPPED})

# AppStream wants the file named after the component's id.
install(FILES ${TQ9_PACKAGING_OUT}/tq9-image-converter.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
        RENAME com.zentri.tq9_image_converter.metainfo.xml)
install(FILES ${TQ9_PACKAGING_OUT}/tq9.1.gz ${TQ9_PACKAGING_OUT}/tq9-image-converter.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/tq9.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME tq9)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${TQ9_PACKAGING_OUT}/changelog.gz DESTINATION ${TQ9_DOCDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/manual/ DESTINATION ${TQ9_DATADIR}/manual)

# The Debian package: scripts/package runs cpack on a Release build.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${TQ9_PACKAGE})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "companion of the TQ-9 video device: brings media onto its SD cards")
# CPack puts the summary first and turns the empty line into the paragraph break.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Finds TQ-9 cards, shows their numbered folders and media files, and brings
PC video, audio and pictures onto a card in the one form the device plays,
with the thumbnail and length files the device reads. Takes the device's
recordings off a card as WMV files.

It comes as a desktop program, tq9-image-converter, and a command-line
tool, tq9, for batches.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TQ9_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${TQ9_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What shlibdeps cannot see: Qt's plug-ins, loaded at run time (the window's X11/Wayland connection; TIFF and
# WebP stills), added to the computed list; Qt's own Japanese texts, the desktop's icons and Qt's Wayland
# plug-in (native on a Wayland desktop, where a drag-out through XWayland may reach no Wayland program) are
# welcome.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-image-formats-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, adwaita-icon-theme, qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
include(CPack)
