# Opens the built Standalone app on a private Xvfb display, checks the panel
# is drawn at the stored size, resizes the window and checks the new size is
# stored. Linux only: it drives an X11 window. Debian packages: xvfb, xdotool,
# python3-pil, python3-numpy.
#
# The script, its checker and the reference picture are copied into the build
# folder, so the test runs from there alone; a change to any of them in the
# source tree is copied again at the next build. Screenshots are kept in
# <build>/gui-screenshots for a person to look at.

if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux" OR NOT TARGET Ovalmere_Standalone)
    return()
endif()

set(OVALMERE_GUI_TEST_DIR "${CMAKE_BINARY_DIR}/gui-test")

foreach(gui_file tests/gui/standalone_window.sh tests/gui/panel_check.py resources/backgroundImage.png)
    get_filename_component(gui_file_name "${gui_file}" NAME)
    configure_file("${PROJECT_SOURCE_DIR}/${gui_file}" "${OVALMERE_GUI_TEST_DIR}/${gui_file_name}" COPYONLY)
endforeach()

add_test(NAME gui.StandaloneWindow
    COMMAND bash "${OVALMERE_GUI_TEST_DIR}/standalone_window.sh"
        "$<TARGET_FILE:Ovalmere_Standalone>"
        "${OVALMERE_GUI_TEST_DIR}/backgroundImage.png")

set_tests_properties(gui.StandaloneWindow PROPERTIES
    TIMEOUT 120
    LABELS gui
    ENVIRONMENT "OVALMERE_SCREENSHOT_DIR=${CMAKE_BINARY_DIR}/gui-screenshots")
