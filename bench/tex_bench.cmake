# libjpeg-turbo is the peer, called directly.
target_link_libraries(${QCORE_TARGET} PRIVATE JPEG::JPEG)
