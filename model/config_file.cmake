# The object stream and the ".vlk" configuration file reader and writer, kept apart from
# velk_model: the model classes know nothing of their file layout.
add_library(velk_object_archive STATIC ${CMAKE_CURRENT_LIST_DIR}/object_archive.cpp)
target_link_libraries(velk_object_archive PUBLIC velk_platform)
