#pragma once

// A shelf controller over a real store file, with a fake clock and hooks that record what they were
// asked to do.
#include <QCoreApplication>
#include <QUuid>

#include "model/Capture.h"
#include "shelf/SearchEngine.h"
#include "shelf/ShelfController.h"
#include "support/NoteStoreFixture.h"

namespace tarnwick::test {

class ShelfFixture : public NoteStoreTestBase {
protected:
    struct FakeHost : ShelfPanelHost {
        int opened = 0, closed = 0, refocused = 0;
        bool ours = false, openedOver = false;
        void open(bool) override { ++opened; }
        void close() override { ++closed; }
        void refocus() override { ++refocused; }
        bool otherWindowOfOursActive() const override { return ours; }
        bool openedOverWindowActive() const override { return ours && openedOver; }
    };

    void SetUp() override
    {
        search = std::make_unique<SearchEngine>(
            SearchEngine::Source{[this] { return store->allActive(); }, [this] { return store->captures(); }});
        ShelfController::Hooks hooks;
        hooks.openNote = [this](const QUuid& id) { opened << id; };
        hooks.peekCapture = [this](const QUuid& id) { peeked << id; };
        hooks.copyText = [this](const QString& text) { copied << text; };
        hooks.onboardingCompleted = [this] { return onboarded; };
        hooks.presentOnboarding = [this] { ++onboardingShown; };
        shelf = std::make_unique<ShelfController>(*store, *search, settings, clock, hooks);
        shelf->setPanelHost(&host);
    }
    void TearDown() override { shelf.reset(); }

    static void turn() { QCoreApplication::processEvents(); }

    Capture* addCapture(const QString& text, const std::optional<QString>& app = {},
                        const std::optional<QString>& title = {}, qint64 secondsAgo = 0)
    {
        auto capture = std::make_unique<Capture>(text, app, std::nullopt, std::nullopt, title, std::nullopt,
                                                 QDateTime::currentDateTimeUtc());
        capture->setCreatedAt(now().addSecs(-secondsAgo));
        return context().insert(std::move(capture));
    }
    ShelfSearchState& state() { return shelf->searchState(); }
    // The model's items as short strings: "H:title", "N:title", "C:title", "B:title", "?:hint", "A".
    static QStringList shown(ShelfListModel& model)
    {
        QStringList out;
        for (int i = 0; i < model.rowCount(); ++i) {
            switch (model.item(i).kind) {
                case ShelfListModel::Kind::header:
                case ShelfListModel::Kind::binHeader:
                    out << "H:" + model.text(i);
                    break;
                case ShelfListModel::Kind::note:
                    out << "N:" + model.texts(i).title;
                    break;
                case ShelfListModel::Kind::capture:
                    out << "C:" + model.texts(i).title;
                    break;
                case ShelfListModel::Kind::binNote:
                    out << "B:" + model.texts(i).title;
                    break;
                case ShelfListModel::Kind::hint:
                    out << "?:" + model.text(i);
                    break;
                case ShelfListModel::Kind::actions:
                    out << "A";
                    break;
            }
        }
        return out;
    }

    FakeHost host;
    std::unique_ptr<SearchEngine> search;
    std::unique_ptr<ShelfController> shelf;
    QList<QUuid> opened, peeked;
    QStringList copied;
    bool onboarded = true;
    int onboardingShown = 0;
};

}  // namespace tarnwick::test
