# The window and the input device of the core sit on the platform's window layer.
target_link_libraries(metrofare_core PUBLIC metrofare_platform_window)
