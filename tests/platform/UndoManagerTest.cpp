#include <gtest/gtest.h>

#include <QString>
#include <memory>

#include "platform/UndoManager.h"

namespace {

// A text that registers the reverse of every append, the way an editor does.
struct Text : QObject {
    UndoManager& undo;
    QString value;
    explicit Text(UndoManager& u) : undo(u) {}
    void append(const QString& s, bool typing)
    {
        value += s;
        undo.registerUndo(
            this, [this, n = s.size()] { chop(n); }, typing);
    }
    void chop(qsizetype n)
    {
        const QString removed = value.right(n);
        value.chop(n);
        undo.registerUndo(this, [this, removed] { append(removed, false); });
    }
};

}  // namespace

TEST(UndoManagerTest, TypingCoalescesUntilABreakAndUndoRedoRoundTrip)
{
    UndoManager undo;
    Text text(undo);
    for (const char* c : {"w", "o", "r", "d"}) text.append(c, true);
    undo.breakCoalescing();
    text.append(" ", true);
    text.append("x", false);  // a step of its own, even without a break
    EXPECT_EQ(undo.undoCount(), 3);

    undo.undo();
    EXPECT_EQ(text.value, "word ");
    undo.undo();
    undo.undo();
    EXPECT_EQ(text.value, "");
    EXPECT_FALSE(undo.canUndo());
    EXPECT_EQ(undo.redoCount(), 3);
    undo.redo();
    EXPECT_EQ(text.value, "word");
    undo.redo();
    EXPECT_EQ(text.value, "word ");
    // A new change clears what is left to redo; undoing it leaves the rest of the history intact.
    text.append("!", false);
    EXPECT_FALSE(undo.canRedo());
    undo.undo();
    undo.undo();
    EXPECT_EQ(text.value, "word");
}

TEST(UndoManagerTest, GroupsAreOneStepAndVanishedTargetsAreDropped)
{
    UndoManager undo;
    Text a(undo);
    auto b = std::make_unique<Text>(undo);
    undo.beginGroup();
    a.append("a", true);
    undo.beginGroup();
    b->append("b", true);
    undo.endGroup();
    undo.endGroup();
    EXPECT_EQ(undo.undoCount(), 1);
    undo.undo();
    EXPECT_EQ(a.value + b->value, "");
    undo.redo();
    EXPECT_EQ(a.value + b->value, "ab");

    b->append("c", false);
    b.reset();
    undo.undo();  // b's step is gone: this undoes the group, of which only a's part is left
    EXPECT_EQ(a.value, "");
    EXPECT_FALSE(undo.canUndo());

    a.append("z", false);
    undo.removeAllActions(&a);
    EXPECT_FALSE(undo.canUndo());
}
