# The host tool exists in the native tree only.
if(NOT WIN32)
  target_link_libraries(test_tools PRIVATE zaroza_tool)
  target_sources(test_tools PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/startup/image_util.cpp)
  add_test(NAME tool_info_pack_cli
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tools/info_pack_cli.sh
                   $<TARGET_FILE:zaroza> ${ZAROZA_CORPUS_DIR} ${CMAKE_SOURCE_DIR}/build/win32/zaroza-sfx.exe)
  set_tests_properties(tool_info_pack_cli PROPERTIES TIMEOUT 60 SKIP_RETURN_CODE 77)
  add_test(NAME tool_extract_cli
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tools/extract_cli.sh $<TARGET_FILE:zaroza> ${ZAROZA_CORPUS_DIR}
                   ${CMAKE_SOURCE_DIR}/build/win32/zaroza-sfx.exe)
  set_tests_properties(tool_extract_cli PROPERTIES TIMEOUT 120 SKIP_RETURN_CODE 77)
  add_test(NAME tool_archive_peers
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tools/archive_peers.sh $<TARGET_FILE:zaroza>)
  set_tests_properties(tool_archive_peers PROPERTIES TIMEOUT 300)
endif()
