# The object stream and the ".vlk" configuration file reader and writer, kept apart from
# velk_model: the model classes know nothing of their file layout.
add_library(velk_object_archive STATIC ${CMAKE_CURRENT_LIST_DIR}/object_archive.cpp)
target_link_libraries(velk_object_archive PUBLIC velk_platform)

add_library(velk_config_file STATIC
  ${CMAKE_CURRENT_LIST_DIR}/config_file_reader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/config_file_writer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/config_file_storage.cpp
)
target_link_libraries(velk_config_file PUBLIC velk_object_archive velk_model)

# The Linux file access of the document (platform layer, outside the logic libraries).
add_library(velk_document_files STATIC
  ${CMAKE_CURRENT_LIST_DIR}/../platform/linux/posix_document_file_access.cpp)
target_link_libraries(velk_document_files PUBLIC velk_platform)
