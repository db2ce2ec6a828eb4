# The window robot, temporary install folders, and the fake login and game programs.
add_library(corvid_test_robot STATIC
  ${CMAKE_CURRENT_LIST_DIR}/window_robot.cpp
  ${CMAKE_CURRENT_LIST_DIR}/install_folder.cpp)
target_link_libraries(corvid_test_robot PUBLIC corvid_core user32)

add_executable(fake_program WIN32 ${CMAKE_CURRENT_LIST_DIR}/fake_program.cpp)

# Windows paths of the built programs, for the tests that start them.
target_compile_definitions(corvid_test_robot PUBLIC
  CORVID_TALOMAR_EXE="Z:$<TARGET_FILE:talomar>"
  CORVID_FAKE_PROGRAM="Z:$<TARGET_FILE:fake_program>")
