# The peer is a plain Asio TCP program in the same process.
target_link_libraries(${QCORE_TARGET} PRIVATE qcore_asio)
