// The system's error code of the last failed transfer (a read, a write, a
// commit, a file or disk opened for writing), kept so that a front end can
// add the system's own reason to the message that reports the failure.
// Program-wide: an engine's read-ahead thread fails on behalf of the engine.
#pragma once

namespace kiroda {

void note_system_error(int code);
// The code noted last, and forgets it; 0 when none.
int take_system_error();

}  // namespace kiroda
