# GoogleTest for the cross tree, built from Debian's sources (/usr/src/googletest).
set(gtest_src /usr/src/googletest/googletest)
add_library(gtest_win32 STATIC ${gtest_src}/src/gtest-all.cc)
target_include_directories(gtest_win32 PUBLIC ${gtest_src}/include PRIVATE ${gtest_src})
# Our own main: see win32_gtest_main.cpp for why the stock one does not do under emulation.
add_library(gtest_main_win32 STATIC ${CMAKE_CURRENT_LIST_DIR}/win32_gtest_main.cpp)
# Its main hands the core the English string table (test programs carry no resources).
target_link_libraries(gtest_main_win32 PUBLIC gtest_win32 zaroza_core)
target_link_options(gtest_main_win32 INTERFACE -static)
