# The host scene and the model importer are tools libraries, not part of the core.
target_link_libraries(${QCORE_TARGET} PRIVATE qcore_import_lib)
list(APPEND QCORE_TEST_TOOLS qcore-import qcore-view)
