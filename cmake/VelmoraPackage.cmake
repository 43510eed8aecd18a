# cmake --install puts a self-contained Velmora folder together: the program at its top, where it
# also keeps its item files and KVT.INI, with the desktop entry, the README and the icons in the
# hicolor layout (share/icons, ready to be copied into ~/.local/share). CPack packs that folder.
install(TARGETS velmora RUNTIME DESTINATION . BUNDLE DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
# Qt's own Japanese texts for the standard dialogs, found beside the program in translations/.
# Without them the program still runs, with those dialogs in English.
find_file(VELMORA_QT_JAPANESE qtbase_ja.qm
          PATHS ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_TRANSLATIONS} ${QT_HOST_PATH}/share/qt6/translations
          NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(VELMORA_QT_JAPANESE)
  install(FILES ${VELMORA_QT_JAPANESE} DESTINATION translations)
else()
  message(WARNING "qtbase_ja.qm not found (Debian: qt6-translations-l10n): the installed program "
                  "shows the standard dialogs in English")
endif()
if(WIN32)
  # Qt and the MinGW-w64 run-time are linked into velmora.exe: their licences go with it.
  install(FILES ${PROJECT_SOURCE_DIR}/resources/windows/LICENSES.txt DESTINATION .)
  if(EXISTS ${QT6_INSTALL_PREFIX}/licenses)
    install(DIRECTORY ${QT6_INSTALL_PREFIX}/licenses/ DESTINATION licenses/qt)
  endif()
  if(MINGW AND EXISTS /usr/share/doc/mingw-w64-common/copyright)
    install(FILES /usr/share/doc/mingw-w64-common/copyright DESTINATION licenses
            RENAME mingw-w64-runtime.txt)
    install(FILES /usr/share/doc/gcc-mingw-w64-base/copyright DESTINATION licenses
            RENAME gcc-runtime.txt)
  endif()
endif()
if(UNIX AND NOT APPLE)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/velmora.desktop DESTINATION .)
  foreach(size IN ITEMS 16 22 32 48 256)
    install(FILES ${PROJECT_SOURCE_DIR}/resources/velmora-${size}.png
            DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME velmora.png)
  endforeach()
  install(FILES ${PROJECT_SOURCE_DIR}/resources/velmora.svg
          DESTINATION share/icons/hicolor/scalable/apps)
endif()

string(TOLOWER "${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}" velmora_system)
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VENDOR Velmora)
set(CPACK_PACKAGE_FILE_NAME velmora-${PROJECT_VERSION}-${velmora_system})
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR TGZ)
endif()
include(CPack)
