#pragma once

#include <memory>

class Clock;
class ModelContainer;
class NoteStore;

// The services of the running application, made once at launch and kept for the life of the process.
// For now it holds the store: it opens the container (PersistenceController), makes the NoteStore over
// its main context and, once everything exists, runs the store's start-up housekeeping. The other
// services join here as they arrive, between the store and the housekeeping.
class AppServices {
public:
    AppServices();
    ~AppServices();
    AppServices(const AppServices&) = delete;
    AppServices& operator=(const AppServices&) = delete;

    NoteStore& noteStore() const { return *m_noteStore; }

    // The store's upkeep at launch, in this order: expired bin entries, notes left in the clear,
    // legacy bodies, duplicate rows, orphaned pictures. Each step saves for itself.
    static void runStartupHousekeeping(NoteStore& store, const Clock& clock);

private:
    std::unique_ptr<NoteStore> m_noteStore;
};
