# The UI probe: the real window procedures and resources of the stub in a console program
# that opens one window at a time for the end-to-end scripts (tests/e2e/ui_*.sh).
if(WIN32)
  add_executable(ui_probe ${CMAKE_CURRENT_SOURCE_DIR}/ui/win32/ui_probe.cpp
                          ${CMAKE_SOURCE_DIR}/res/zaroza.rc)
  target_include_directories(ui_probe PRIVATE ${CMAKE_SOURCE_DIR}/res)
  set_target_properties(ui_probe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  target_link_options(ui_probe PRIVATE -static -s)
  target_link_libraries(ui_probe PRIVATE zaroza_core)
endif()
