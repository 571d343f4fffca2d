// The toolbar server's start and stop.
//
// The server library is not part of the program yet: these two are where it is wired in
// (create the server on 127.0.0.1:6790 and start its thread; on shutdown signal it, close it,
// wait for its thread and delete it).
#include "frame/mainfrm.h"

void StartToolbarServer() { }

void StopToolbarServer() { }
