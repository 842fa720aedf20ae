// The handlers of the keyword tables. Internal to the command interpreter:
// they reach its scratch buffers and partners as a friend.
#pragma once

#include <cstdint>
#include <string_view>

namespace tessary {

class CommandInterpreter;
struct Rgb;

class CommandHandlers {
 public:
  using I = CommandInterpreter;
  using Args = std::string_view;

  // The interpreter's own commands.
  static bool whoAreYou(I& in, Args args);
  static bool login(I& in, Args args);

  // The watched window.
  static bool watch(I& in, Args args);
  static bool watchBorder(I& in, Args args);

  // Settings and queries.
  static bool flip(I& in, Args args);
  static bool getFlip(I& in, Args args);
  static bool mirror(I& in, Args args);
  static bool getMirror(I& in, Args args);
  static bool zoneMovement(I& in, Args args);
  static bool statusMessages(I& in, Args args);
  static bool displaySize(I& in, Args args);
  static bool renderArea(I& in, Args args);
  static bool getRenderArea(I& in, Args args);
  static bool overlay(I& in, Args args);
  static bool overlayColour(I& in, Args args);
  static bool blend(I& in, Args args);
  static bool setDataType(I& in, Args args);
  static bool checkDataType(I& in, Args args);
  static bool motion(I& in, Args args);
  static bool reducedMotion(I& in, Args args);
  static bool sensitivity(I& in, Args args);
  static bool checkSensitivity(I& in, Args args);
  static bool threshold(I& in, Args args);
  static bool checkThreshold(I& in, Args args);
  static bool getLan(I& in, Args args);

  // Zones and grids.
  static bool add(I& in, Args args);
  static bool grid(I& in, Args args);
  static bool checkZone(I& in, Args args);

  static bool zoneDelete(I& in, Args args);
  static bool zoneMove(I& in, Args args);
  static bool zoneResize(I& in, Args args);
  static bool zoneMoveSize(I& in, Args args);
  static bool zoneSensitivity(I& in, Args args);
  static bool zoneThreshold(I& in, Args args);
  static bool zoneDuplicate(I& in, Args args);
  static bool zonePause(I& in, Args args);
  static bool zoneActivate(I& in, Args args);

  static bool gridDelete(I& in, Args args);
  static bool gridMove(I& in, Args args);
  static bool gridResize(I& in, Args args);
  static bool gridMoveSize(I& in, Args args);
  static bool gridSensitivity(I& in, Args args);
  static bool gridThreshold(I& in, Args args);
  static bool gridPause(I& in, Args args);
  static bool gridActivate(I& in, Args args);

 private:
  // Applies the options of "status_messages" from `first` on, left to right.
  static void applyStatusOptions(I& in, Args args);

  // The checks below send the error and answer false when a parameter does
  // not fit; the result is written only on success.
  // Parameter 1 as "true" or "false"; `errorText` otherwise.
  static bool readTrueOrFalse(I& in, Args args, std::string_view errorText, bool& value);
  // Parameters 1 to 3 as red, green and blue, each 0-255; `errorText` otherwise.
  static bool readColour(I& in, Args args, std::string_view errorText, Rgb& colour);
  // A pause in whole milliseconds, very long ones ending at the largest
  // count; a negative duration or not a number is no pause at all.
  static bool pauseMilliseconds(I& in, double seconds, std::uint32_t& milliseconds);
};

}  // namespace tessary
