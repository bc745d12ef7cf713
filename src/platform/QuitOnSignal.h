#pragma once

// Turns SIGTERM, SIGINT and SIGHUP into an orderly QCoreApplication::quit(), so a session logout or
// `kill` ends the event loop normally (pending writes finish) instead of killing the process mid-way.
namespace QuitOnSignal {
void install();
}
