include(CMakePackageConfigHelpers)

install(TARGETS qcore EXPORT qcoreTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/qcore DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        FILES_MATCHING PATTERN "*.h")
install(EXPORT qcoreTargets NAMESPACE qcore:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/qcore)

configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/qcoreConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/qcoreConfig.cmake
                              INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/qcore)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/qcoreConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/qcoreConfig.cmake ${CMAKE_BINARY_DIR}/qcoreConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/qcore)

configure_file(${CMAKE_SOURCE_DIR}/cmake/qcore.pc.in ${CMAKE_BINARY_DIR}/qcore.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/qcore.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
