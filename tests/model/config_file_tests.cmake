# Object stream and configuration file tests.
velk_add_test(archive_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/archive_encoding_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/archive_classes_test.cpp
  LIBS velk_object_archive)

velk_add_test(config_file_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/config_file_fixture_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/config_file_load_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/config_file_save_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/tag_sheet_file_test.cpp
  LIBS velk_config_file velk_document_files velk_model)
target_compile_definitions(config_file_tests PRIVATE
  VELK_FIXTURE_DIR="${CMAKE_CURRENT_LIST_DIR}/../fixtures")

# The committed fixtures are the independent writer's current output.
add_test(NAME config_file.fixtures_match_writer
         COMMAND ${CMAKE_COMMAND} -DPYTHON=/usr/bin/python3
                 -DFIXTURES=${CMAKE_CURRENT_LIST_DIR}/../fixtures
                 -DWORK=${CMAKE_CURRENT_BINARY_DIR}/fixtures_check
                 -P ${CMAKE_CURRENT_LIST_DIR}/../fixtures/check_fixtures.cmake)
set_tests_properties(config_file.fixtures_match_writer PROPERTIES LABELS unit)
