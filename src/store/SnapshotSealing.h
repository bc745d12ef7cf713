#pragma once

#include <QString>

#include "platform/Result.h"

// A snapshot is a copy of the store taken before the launch sweep seals locked notes left in the clear
// (a crash while one was revealed). The copy is sealed the same way, in place, so that no private note
// waits in the clear in a snapshot for as long as snapshots are kept. It works on the copy's own tables,
// without bringing them up to the current schema: a snapshot keeps the schema it was taken with.
class SnapshotSealing {
public:
    SnapshotSealing() = delete;

    struct Checked {
        // Why the file could not be looked through (a damaged store); empty when it was.
        QString notChecked;
    };
    // Seals every locked note of the store file that holds plaintext, with its pictures, and leaves no
    // trace of the plaintext in the file or its log. Fails (with the reason) when a note could not be
    // sealed; the file may then still hold it. A file that cannot be read is left as it is.
    static Result<Checked, QString> sealLockedNotes(const QString& storeFile);
};
