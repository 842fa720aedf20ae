#include <array>

#include "link/command_handlers.h"
#include "link/command_interpreter.h"

namespace tessary {
namespace {

using H = CommandHandlers;

constexpr KeywordEntry kCommands[] = {
    {"whoareyou", &H::whoAreYou, 0},
    {"login", &H::login, 1},
    {"watch", &H::watch, 1},
    {"watch_border", &H::watchBorder, 4},
    {"flip", &H::flip, 1},
    {"get_flip", &H::getFlip, 0},
    {"mirror", &H::mirror, 1},
    {"get_mirror", &H::getMirror, 0},
    {"zone_movement", &H::zoneMovement, 1},
    {"status_messages", &H::statusMessages, -1},
    {"display_size", &H::displaySize, 2},
    {"render_area", &H::renderArea, 4},
    {"get_render_area", &H::getRenderArea, 0},
    {"overlay", &H::overlay, 1},
    {"overlay_colour", &H::overlayColour, 3},
    {"overlay_color", &H::overlayColour, 3},
    {"blend", &H::blend, 3},
    {"set_data_type", &H::setDataType, 1},
    {"check_data_type", &H::checkDataType, 0},
    {"check_zone", &H::checkZone, 1},
    {"motion", &H::motion, 1},
    {"reduced_motion", &H::reducedMotion, 1},
    {"add", &H::add, 5},
    {"grid", &H::grid, 7},
    {"sensitivity", &H::sensitivity, 1},
    {"check_sensitivity", &H::checkSensitivity, 0},
    {"threshold", &H::threshold, 1},
    // Takes one parameter and ignores it; clients send check_threshold(0).
    {"check_threshold", &H::checkThreshold, 1},
    {"get_lan", &H::getLan, 0},
};

constexpr KeywordEntry kZoneMethods[] = {
    {"delete", &H::zoneDelete, 0},
    {"move", &H::zoneMove, 2},
    {"resize", &H::zoneResize, 2},
    {"movesize", &H::zoneMoveSize, 4},
    {"sensitivity", &H::zoneSensitivity, 1},
    {"threshold", &H::zoneThreshold, 1},
    {"duplicate", &H::zoneDuplicate, 1},
    {"pause", &H::zonePause, 1},
    {"activate", &H::zoneActivate, 1},
};

constexpr KeywordEntry kGridMethods[] = {
    {"delete", &H::gridDelete, 0},
    {"move", &H::gridMove, 2},
    {"resize", &H::gridResize, 2},
    {"movesize", &H::gridMoveSize, 4},
    {"sensitivity", &H::gridSensitivity, 1},
    {"threshold", &H::gridThreshold, 1},
    {"pause", &H::gridPause, 1},
    {"activate", &H::gridActivate, 1},
};

}  // namespace

std::span<const KeywordEntry> commandTable() { return kCommands; }
std::span<const KeywordEntry> zoneMethodTable() { return kZoneMethods; }
std::span<const KeywordEntry> gridMethodTable() { return kGridMethods; }

}  // namespace tessary
