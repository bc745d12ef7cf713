#include "app/AppServices.h"

#include "platform/Clock.h"
#include "store/NoteStore.h"
#include "store/PersistenceController.h"

AppServices::AppServices()
{
    m_noteStore = std::make_unique<NoteStore>(PersistenceController::shared().mainContext());
    runStartupHousekeeping(*m_noteStore, Clock::system());
}

AppServices::~AppServices() = default;

void AppServices::runStartupHousekeeping(NoteStore& store, const Clock& clock)
{
    store.purgeExpired(clock.now());
    store.sweepLockedPlaintext();
    store.migrateLegacyBodies();
    store.reconcileForSync();
    // Read again: the steps before may have taken a while on a large store.
    store.sweepOrphanImages(clock.now());
}
