# Script-driven tests of the archive decoder (native tree only): differential runs
# against independent LHA tools.
if(NOT WIN32)
  add_test(NAME lha_peer_diff
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/lha/peer_diff.sh $<TARGET_FILE:zaroza> ${ZAROZA_CORPUS_DIR})
  set_tests_properties(lha_peer_diff PROPERTIES TIMEOUT 300)  # over 50 s under the sanitizers
endif()
