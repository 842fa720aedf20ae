#include "shell/help_text.h"

namespace tessary {

std::string_view helpText() {
  return R"help(TESSARY COMMAND LANGUAGE - QUICK REFERENCE

Connect to TCP port 2152 (or the port given with --port) on this machine.
Send texts ended by a NUL byte. A text holds statements separated by ";".
Every message from Tessary is one text ended by a NUL byte.

Statements
  keyword(arg1,arg2,...)      a global command
  name.method(arg1,...)       a method of a zone or grid
  Names and keywords are case-sensitive. "," always separates
  parameters; blanks before a value are skipped, blanks after it kept.
  Names longer than 127 characters are cut to 127.

Without logging in
  login(code)               log in with the code set via "Enter New Code"
  whoareyou()               identify the program
  set_data_type(xml|commands)  the form of all replies
  watch(true|false)         follow the client's own window

Settings (after login)
  display_size(w,h)         size of your coordinate space (before any zone)
  status_messages(opt,...)  add move resize movesize delete hit motion
                            sensitivity threshold all none, or no_<option>
  zone_movement(true|false) motion(true|false) reduced_motion(true|false)
  sensitivity(0-100)        default for new zones (50)
  threshold(percent)        default for new zones (20)
  check_sensitivity()  check_threshold(0)  check_data_type()
  render_area(x,y,w,h)  get_render_area()  overlay(on|off)
  overlay_colour(r,g,b)  blend(r,g,b)  mirror(true|false)  flip(true|false)
  get_mirror()  get_flip()  watch_border(left,top,right,bottom)
  get_lan()                 workstations announced on the local network

Zones and grids (after login)
  add(name,x,y,w,h)         a zone
  grid(name,x,y,w,h,columns,rows)   zones name_0, name_1, ... row by row
  check_zone(name)          describe a zone
  name.move(x,y)  name.resize(w,h)  name.movesize(x,y,w,h)
  name.sensitivity(s)  name.threshold(t)  name.pause(seconds)
  name.activate(true|false)  name.delete()
  name.duplicate(newname)   zones only

Messages (XML form / script form)
  <hit name="door">               door.hit();
  <motion name="door" amount="5"> door.motion(5);
  <zone name="door" status="Created - (15,15)-(31,23)">
                                  door.Created - (15,15)-(31,23);
  <login status="successful">     login=successful;
  <error content="...">           error(...);

When the client disconnects, its zones and grids are removed and every
setting returns to its default; the next client must log in again.

Setup page and browser clients
  http://127.0.0.1:2153/    the live picture with every zone drawn
  ws://127.0.0.1:2153/client  a client over WebSocket: one text frame
                            per command text and per message

The full reference is docs/protocol.md (menu WWW).
)help";
}

}  // namespace tessary
