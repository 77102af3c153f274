# Object stream and configuration file tests.
velk_add_test(archive_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/archive_encoding_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/archive_classes_test.cpp
  LIBS velk_object_archive)
