#pragma once

// What a note view needs, for the benchmarks that draw note views: a store in a throw-away folder, keys
// and settings in memory, and an unlock session whose password prompt is always cancelled.
#include <QTemporaryDir>
#include <memory>

#include "editor/blocks/BlockEditorView.h"
#include "editor/blocks/PreviewFiles.h"
#include "keys/KeychainStore.h"
#include "note/BlockNoteBody.h"
#include "note/NoteView.h"
#include "platform/Authenticator.h"
#include "platform/Clock.h"
#include "platform/MemoryKeychainBackend.h"
#include "platform/ModelContainer.h"
#include "platform/NotificationCenter.h"
#include "platform/Settings.h"
#include "platform/SpellChecker.h"
#include "privacy/UnlockSession.h"
#include "store/NoteStore.h"
#include "store/TarnwickSchemaV2.h"

class NoAuthenticator : public Authenticator {
public:
    Availability availability() override { return {true, {}}; }
    void evaluate(const QString&, Completion done) override { done(Outcome::cancelled, {}); }
};

struct NoteViewServices {
    NoteViewServices()
    {
        KeychainStore::useBackend(std::make_shared<MemoryKeychainBackend>());
        container = std::move(ModelContainer::open(TarnwickSchemaV2::schema(), dir.filePath("default.store")).value());
        store = std::make_unique<NoteStore>(container->mainContext(), Clock::system(), settings,
                                            NotificationCenter::shared());
        unlock = std::make_unique<UnlockSession>(*store, authenticator, Clock::system(), settings);
    }

    EditorServices editorServices()
    {
        return {*store, previews, Clock::system(), NotificationCenter::shared(), SpellChecker::desktop()};
    }

    // A translucent note view with reminders that do nothing; its body the block editor, or with
    // `withBody` false an empty body slot.
    std::unique_ptr<NoteView> makeView(bool withBody = true)
    {
        NoteViewModel::Reminders reminders{[] { return true; }, [](const Note&) {}, [](const Note&) {}};
        NoteBodyFactory body;
        if (withBody)
            body = [this](QWidget* parent) { return new BlockNoteBody(editorServices(), NoteView::gutter, parent); };
        return std::make_unique<NoteView>(
            *store, *unlock, reminders, [] { return true; }, Clock::system(), body, true);
    }

    QTemporaryDir dir;
    Settings settings{std::make_unique<MemorySettingsBackend>()};
    NoAuthenticator authenticator;
    std::unique_ptr<ModelContainer> container;
    std::unique_ptr<NoteStore> store;
    std::unique_ptr<UnlockSession> unlock;
    PreviewFiles previews{dir.filePath("previews")};
};
