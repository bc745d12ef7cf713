#pragma once

// The store a seeder program fills before an end-to-end script launches the application on it.
#include <cstdio>
#include <memory>

#include "platform/Clock.h"
#include "store/PersistenceController.h"
#include "store/StoreMigration.h"

namespace tarnwick::test {

// The application's own store under the session's XDG directories, or null after saying why on stderr.
inline std::unique_ptr<ModelContainer> openSeederStore()
{
    auto opened = PersistenceController::open(StoreMigration::currentDirectory(), std::nullopt, Clock::system());
    if (opened.failure) {
        std::fprintf(stderr, "store did not open: %s\n", qUtf8Printable(*opened.failure));
        return nullptr;
    }
    return std::move(opened.container);
}

}  // namespace tarnwick::test
