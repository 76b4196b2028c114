# The OGG writer encodes with libvorbisenc (over libvorbis and libogg).
pkg_check_modules(VORBISENC REQUIRED IMPORTED_TARGET vorbisenc vorbis ogg)
target_link_libraries(metrofare_writers PUBLIC PkgConfig::VORBISENC)
