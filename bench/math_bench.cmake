# glm (header-only) is the peer; its left-handed, zero-to-one depth conventions match ours.
find_package(glm REQUIRED CONFIG)
target_link_libraries(${QCORE_TARGET} PRIVATE glm::glm)
target_compile_definitions(${QCORE_TARGET} PRIVATE GLM_FORCE_LEFT_HANDED GLM_FORCE_DEPTH_ZERO_TO_ONE)
