# FreeType draws the same characters straight into a bitmap: the floor for the bitmap font.
target_link_libraries(${QCORE_TARGET} PRIVATE Freetype::Freetype)
