# vandrel-shots OUTDIR: a PNG of every window in English and in Chinese, for
# review (scripts/screenshots.sh runs it under Xvfb). Built with the
# program, never installed.
#
# To add windows: append the file with your Shoot* function (declared in
# Shots.h) to VANDREL_SHOT_SOURCES and the function's name to
# VANDREL_SHOT_FUNCTIONS; vandrel-shots calls the functions in that order.
set(VANDREL_SHOT_SOURCES
  ShootWindow.cpp
  StartupShots.cpp
  MainWindowShots.cpp
  DialogShots.cpp
  LinkDialogShots.cpp
  MapingShots.cpp
  DataSetDialogShots.cpp
  DebugShots.cpp
)
set(VANDREL_SHOT_FUNCTIONS
  ShootStartup
  ShootMainWindow
  ShootDialogs
  ShootLinkDialogs
  ShootMaping
  ShootDataSetDialogs
  ShootDebugWindows
)

set(shot_calls "")
foreach(function ${VANDREL_SHOT_FUNCTIONS})
  string(APPEND shot_calls "&kv::${function},\n")
endforeach()
set(shot_include ${CMAKE_CURRENT_BINARY_DIR}/shots/ShotFunctions.inc)
file(CONFIGURE OUTPUT ${shot_include} CONTENT "${shot_calls}")
list(TRANSFORM VANDREL_SHOT_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
add_executable(vandrel-shots ${CMAKE_CURRENT_LIST_DIR}/ShotsMain.cpp ${VANDREL_SHOT_SOURCES})
set_target_properties(vandrel-shots PROPERTIES AUTOMOC ON)
target_include_directories(vandrel-shots PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/shots ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(vandrel-shots PRIVATE vandrel_startup vandrel_app KVEditorLib KVCore KVLib Qt6::Widgets
                      vandrel_warnings)
