# Fonts rasterise their glyphs through the platform's font layer.
target_link_libraries(metrofare_render PUBLIC metrofare_platform_font)
