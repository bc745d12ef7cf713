#pragma once

// Turns SIGTERM, SIGINT and SIGHUP into an orderly end of the event loop, so a session logout or
// `kill` ends the application normally (pending writes finish) instead of killing it mid-way. The
// loop ends in any state: from inside a dialog's own loop, or before the main loop has started. Should
// the main thread not get back to its loop at all (stuck in a call that waits on the user), the
// process ends a few seconds later all the same, with what the store has saved by then.
namespace QuitOnSignal {
void install();
}
