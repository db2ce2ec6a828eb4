# The in-process HTTP server of the network tests.
add_library(corvid_test_http STATIC ${CMAKE_CURRENT_LIST_DIR}/http_server.cpp)
target_link_libraries(corvid_test_http PUBLIC ws2_32)
