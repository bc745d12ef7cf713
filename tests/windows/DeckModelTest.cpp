#include <gtest/gtest.h>

#include <QSignalSpy>
#include <functional>
#include <memory>

#include "design/TarnwickTheme.h"
#include "model/Note.h"
#include "windows/DeckModel.h"

namespace {

std::unique_ptr<Note> makeNote()
{
    return std::make_unique<Note>(QString(), QString(), Tint::blue, Opacity::solid, std::nullopt, std::nullopt,
                                  QDateTime::currentDateTimeUtc());
}

TEST(DeckModelTest, StartsAtRestOnTheGivenNoteAndForgetsNotesThatGoAway)
{
    auto note = makeNote();
    DeckModel model(note.get());
    EXPECT_EQ(model.note(), note.get());
    EXPECT_EQ(model.opacity(), 1.0);
    EXPECT_EQ(model.slideDirection(), 0);
    EXPECT_EQ(model.dragOffset(), 0);
    EXPECT_EQ(model.peekNote(), nullptr);
    EXPECT_TRUE(model.peekIsTrailing());
    EXPECT_FALSE(model.peekIsNewNote());
    EXPECT_EQ(model.newNotePaper(), TarnwickTheme::paper());
    EXPECT_FALSE(model.isKey());
    EXPECT_FALSE(model.isRolled());

    // A note that goes away reads as null.
    auto peek = makeNote();
    model.setPeekNote(peek.get());
    note.reset();
    peek.reset();
    EXPECT_EQ(model.note(), nullptr);
    EXPECT_EQ(model.peekNote(), nullptr);
}

// Each field notifies once for a new value and stays quiet when written with the value it holds.
TEST(DeckModelTest, NotifiesOnlyRealChanges)
{
    auto first = makeNote();
    auto second = makeNote();
    DeckModel model(first.get());
    struct Field {
        const char* name;
        void (DeckModel::*signal)();
        std::function<void()> writeNew;
    };
    const Field fields[] = {
        {"note", &DeckModel::noteChanged, [&] { model.setNote(second.get()); }},
        {"opacity", &DeckModel::opacityChanged, [&] { model.setOpacity(0.6); }},
        {"slideDirection", &DeckModel::slideDirectionChanged, [&] { model.setSlideDirection(-1); }},
        {"dragOffset", &DeckModel::dragOffsetChanged, [&] { model.setDragOffset(-120.5); }},
        {"peekNote", &DeckModel::peekNoteChanged, [&] { model.setPeekNote(first.get()); }},
        {"peekIsTrailing", &DeckModel::peekIsTrailingChanged, [&] { model.setPeekIsTrailing(false); }},
        {"peekIsNewNote", &DeckModel::peekIsNewNoteChanged, [&] { model.setPeekIsNewNote(true); }},
        {"newNotePaper", &DeckModel::newNotePaperChanged, [&] { model.setNewNotePaper(QColor(10, 20, 30)); }},
        {"isKey", &DeckModel::isKeyChanged, [&] { model.setIsKey(true); }},
        {"isRolled", &DeckModel::isRolledChanged, [&] { model.setIsRolled(true); }},
    };
    for (const Field& field : fields) {
        QSignalSpy spy(&model, field.signal);
        field.writeNew();
        field.writeNew();
        EXPECT_EQ(spy.count(), 1) << field.name;
    }
}

}  // namespace
