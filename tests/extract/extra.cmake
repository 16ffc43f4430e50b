# The whole-run tests build package images with the start-up tests' helper.
if(NOT WIN32)
  target_sources(test_extract PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/startup/image_util.cpp)
endif()
