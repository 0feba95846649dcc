# Installation and the Debian package.
#
# `cmake --install BUILD [--prefix DIR]` puts the programs in bin/, the three
# libraries in lib/<arch>/vandrel/ (private to the programs, found through
# their RPATH), the desktop entry, the icon in the hicolor theme and the
# manual (README.md and docs/*.md) in share/doc/vandrel. An installed program
# never writes into its installation: its program folder is the user's
# $XDG_DATA_HOME/vandrel (see PrgDir). `cpack -G DEB` (in BUILD) makes
# vandrel_<version>_<arch>.deb with the dependencies dpkg-shlibdeps finds.
include(GNUInstallDirs)

set(VANDREL_INSTALL_LIBDIR ${CMAKE_INSTALL_LIBDIR}/vandrel)
file(RELATIVE_PATH vandrel_bin_to_lib
     ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR} ${CMAKE_INSTALL_PREFIX}/${VANDREL_INSTALL_LIBDIR})

set(vandrel_install_libs KVLib KVCore)
set(vandrel_install_programs vandrel-cli)
if(VANDREL_GUI)
  list(APPEND vandrel_install_libs KVEditorLib)
  list(APPEND vandrel_install_programs vandrel)
endif()
set_target_properties(${vandrel_install_libs} PROPERTIES INSTALL_RPATH "$ORIGIN")
set_target_properties(${vandrel_install_programs} PROPERTIES INSTALL_RPATH "$ORIGIN/${vandrel_bin_to_lib}")
install(TARGETS ${vandrel_install_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS ${vandrel_install_libs} LIBRARY DESTINATION ${VANDREL_INSTALL_LIBDIR})

install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vandrel)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vandrel FILES_MATCHING PATTERN "*.md")

if(VANDREL_GUI)
  set(resources ${CMAKE_SOURCE_DIR}/app/resources)
  install(FILES ${resources}/vandrel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${resources}/vandrel.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  # The PNG sizes are rendered from the SVG at build time.
  set(icon_sizes 16 22 24 32 48 64 128 256)
  set(icon_dir ${CMAKE_BINARY_DIR}/icons/hicolor)
  set(icon_pngs)
  foreach(size ${icon_sizes})
    list(APPEND icon_pngs ${icon_dir}/${size}x${size}/apps/vandrel.png)
  endforeach()
  add_executable(vandrel-icons ${resources}/RenderIcons.cpp)
  target_link_libraries(vandrel-icons PRIVATE Qt6::Gui vandrel_warnings)
  add_custom_command(OUTPUT ${icon_pngs}
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0
            $<TARGET_FILE:vandrel-icons> ${resources}/vandrel.svg ${icon_dir} ${icon_sizes}
    DEPENDS vandrel-icons ${resources}/vandrel.svg
    COMMENT "Rendering the program's icon")
  add_custom_target(vandrel_icons ALL DEPENDS ${icon_pngs})
  install(DIRECTORY ${icon_dir} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
endif()

# ---- Debian package ----
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vandrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Vandrelworks")
set(CPACK_PACKAGE_CONTACT "Vandrelworks <vandrel@vandrelworks.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Data transfer (ETL) between text files and databases")
set(CPACK_PACKAGE_DESCRIPTION
    "Vandrel designs and runs jobs that move records between delimited or fixed-width text files, SQLite, PostgreSQL, ODBC data sources and dBase tables, computing each destination field with an expression. It offers a desktop program and vandrel-cli for servers.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The program's own libraries are private: dpkg-shlibdeps finds them here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
if(VANDREL_GUI)
  # Loaded as Qt plugins (the SVG icon), not linked; and a font for Chinese.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-zenhei | fonts-noto-cjk")
endif()
include(CPack)
