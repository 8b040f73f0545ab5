# The Windows build made the GoogleTest targets from source (cmake/windows.cmake).
if(NOT TARGET GTest::gtest OR NOT TARGET GTest::gtest_main)
  set(GTest_FOUND FALSE)
  set(GTest_NOT_FOUND_MESSAGE "GoogleTest was not built from /usr/src/googletest")
endif()
