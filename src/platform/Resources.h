#pragma once

// The application's compiled-in resources (icons, fonts) live in a static library, whose unreferenced
// parts the linker drops; calling this before the first ":/" lookup keeps them in and registers them.
namespace Resources {
void ensureLoaded();
}
