#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QWindow>

#include "platform/FocusReturn.h"
#include "platform/PasswordDialog.h"
#include "support/KeyboardAtHide.h"

namespace {
struct Answers {
    QList<std::optional<QString>> received;
    PasswordPrompt::Answer collector()
    {
        return [this](std::optional<QString> text) { received << text; };
    }
};
}  // namespace

// One answer per question: OK gives the text and leaves the dialog waiting (busy) for the check;
// cancelling gives nothing; anything after the answer is ignored until the next question.
TEST(PasswordDialog, AnswersEachQuestionOnce)
{
    PasswordDialog dialog;
    Answers answers;
    dialog.ask({"Unlock this note", "Password:", {}, false}, answers.collector());
    auto* field = dialog.findChild<QLineEdit*>();
    ASSERT_TRUE(field);
    EXPECT_EQ(field->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(dialog.isVisible());

    field->setText("secret");
    dialog.accept();
    dialog.accept();
    dialog.reject();
    ASSERT_EQ(answers.received.size(), 1);
    EXPECT_EQ(answers.received[0], std::optional<QString>("secret"));
    EXPECT_FALSE(field->isEnabled());
    EXPECT_TRUE(field->text().isEmpty());

    dialog.ask({"Unlock this note", "Password:", "Wrong password. Try again.", false}, answers.collector());
    EXPECT_TRUE(field->isEnabled());
    bool problemShown = false;
    for (QLabel* label : dialog.findChildren<QLabel*>())
        problemShown |= label->isVisible() && label->text() == "Wrong password. Try again.";
    EXPECT_TRUE(problemShown);
    dialog.reject();
    ASSERT_EQ(answers.received.size(), 2);
    EXPECT_EQ(answers.received[1], std::nullopt);

    dialog.finish();
    EXPECT_FALSE(dialog.isVisible());
}

// The unlock prompt belongs to the note window that asked: transient for it, centred over it, a plain
// dialog; Cancel gives the keyboard back to the field that had it; a window closed first cancels.
TEST(PasswordDialog, BelongsToTheWindowThatAsked)
{
    QWidget note;
    note.setGeometry(300, 200, 360, 300);
    auto* editor = new QLineEdit(&note);
    auto* other = new QLineEdit(&note);
    other->move(0, 40);
    note.show();
    note.activateWindow();
    editor->setFocus();
    QCoreApplication::processEvents();

    PasswordDialog::setNextOwner(editor);
    PasswordDialog dialog;
    EXPECT_EQ(dialog.owner(), &note);
    Answers answers;
    dialog.ask({"Unlock this note", "Password:", {}, false}, answers.collector());
    ASSERT_NE(dialog.windowHandle(), nullptr);
    EXPECT_EQ(dialog.windowHandle()->transientParent(), note.windowHandle());
    EXPECT_EQ(dialog.windowTitle(), "Unlock Note");
    EXPECT_FALSE(dialog.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_LE((dialog.frameGeometry().center() - note.frameGeometry().center()).manhattanLength(), 4);
    bool introShown = false;
    for (QLabel* label : dialog.findChildren<QLabel*>())
        introShown |= label->isVisible() && label->text() == "Enter your account password to unlock this note.";
    EXPECT_TRUE(introShown);

    other->setFocus();  // what the dialog's own activation would leave behind
    dialog.reject();
    EXPECT_EQ(answers.received.size(), 1);
    (void)QTest::qWaitFor([&] { return QApplication::activeWindow() == &note; }, 1000);
    EXPECT_EQ(QApplication::activeWindow(), &note);
    EXPECT_EQ(QApplication::focusWidget(), editor);

    // The note window goes away while the question is open: answered as Cancel, nothing typed kept.
    dialog.ask({"Unlock this note", "Password:", {}, false}, answers.collector());
    dialog.findChild<QLineEdit*>()->setText("secret");
    note.hide();
    ASSERT_EQ(answers.received.size(), 2);
    EXPECT_EQ(answers.received[1], std::nullopt);
    EXPECT_FALSE(dialog.isVisible());
    // Asked again after the window closed: cancelled at once, without showing.
    dialog.ask({"Unlock this note", "Password:", {}, false}, answers.collector());
    QCoreApplication::processEvents();
    EXPECT_FALSE(dialog.isVisible());
    ASSERT_EQ(answers.received.size(), 3);
    EXPECT_EQ(answers.received[2], std::nullopt);
}

// Whether the password was taken (the field then disabled while it was checked) or the question called
// off, the note has the keyboard back, in the field that had it, before the prompt hides.
TEST(PasswordDialog, GivesTheKeyboardBackBeforeItHides)
{
    QWidget note;
    note.setGeometry(300, 200, 360, 300);
    auto* editor = new QLineEdit(&note);
    new QLineEdit(&note);
    note.show();
    note.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&note));
    editor->setFocus();
    PasswordDialog::setNextOwner(&note);
    PasswordDialog dialog;
    for (const bool accepted : {true, false}) {
        Answers answers;
        dialog.ask({"Unlock this note", "Password:", {}, false}, answers.collector());
        dialog.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
        QCoreApplication::processEvents();  // the activations the note's last return left queued
        ASSERT_EQ(QApplication::activeWindow(), &dialog) << accepted;
        tarnwick::test::KeyboardAtHide spy(&dialog);
        if (accepted) {
            dialog.findChild<QLineEdit*>()->setText("secret");
            dialog.accept();
            dialog.finish();
        } else {
            dialog.reject();
        }
        ASSERT_EQ(spy.hides(), 1) << accepted;
        EXPECT_EQ(spy.activeAtHide(), &note) << accepted;
        EXPECT_EQ(QApplication::focusWidget(), editor) << accepted;
    }
}

// The keyboard is given back only from our own window: when the user went to another application while
// the prompt was up (the password being checked), closing it does not take the keyboard back.
TEST(FocusReturn, TakesNoFocusBackFromAnotherApplication)
{
    QWidget note;
    note.setGeometry(300, 200, 360, 300);
    note.show();
    note.activateWindow();
    (void)QTest::qWaitFor([&] { return QApplication::activeWindow() == &note; }, 1000);
    FocusReturn focusReturn;
    focusReturn.capture(&note);
    // The prompt took the keyboard, then the user went to another application.
    QWindow prompt;
    prompt.show();
    prompt.requestActivate();
    (void)QTest::qWaitFor([&] { return QGuiApplication::focusWindow() == &prompt; }, 1000);
    prompt.destroy();
    QCoreApplication::processEvents();
    ASSERT_EQ(QGuiApplication::focusWindow(), nullptr);
    focusReturn.restore();
    QCoreApplication::processEvents();
    EXPECT_EQ(QApplication::activeWindow(), nullptr);
}

// Where the focus goes back: only to a widget still inside that window that can take it.
TEST(FocusReturn, TargetRule)
{
    QWidget window, elsewhere;
    auto* field = new QLineEdit(&window);
    auto* label = new QLabel(&window);
    auto* foreign = new QLineEdit(&elsewhere);
    window.show();
    EXPECT_EQ(FocusReturn::target(&window, field), field);
    EXPECT_EQ(FocusReturn::target(&window, nullptr), nullptr);
    EXPECT_EQ(FocusReturn::target(&window, foreign), nullptr);
    EXPECT_EQ(FocusReturn::target(&window, label), nullptr);  // takes no focus
    field->setEnabled(false);
    EXPECT_EQ(FocusReturn::target(&window, field), nullptr);
    field->setEnabled(true);
    field->hide();
    EXPECT_EQ(FocusReturn::target(&window, field), nullptr);
    EXPECT_EQ(FocusReturn::target(nullptr, field), nullptr);

    // Nothing captured, or the window gone: restoring does nothing.
    FocusReturn none;
    none.restore();
    FocusReturn gone;
    {
        QWidget shortLived;
        shortLived.show();
        gone.capture(&shortLived);
    }
    gone.restore();
    EXPECT_EQ(gone.window(), nullptr);
}

// A hint from a window that closed before the prompt was built is ignored: the prompt still asks.
TEST(PasswordDialog, StaleOwnerHintIsIgnored)
{
    auto closed = std::make_unique<QWidget>();
    closed->show();
    PasswordDialog::setNextOwner(closed.get());
    closed->hide();
    PasswordDialog dialog;
    EXPECT_EQ(dialog.owner(), nullptr);
    Answers answers;
    dialog.ask({"Remove the lock from this note", "Password:", {}, false}, answers.collector());
    QCoreApplication::processEvents();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(answers.received.isEmpty());
    EXPECT_EQ(dialog.windowTitle(), "Tarnwick");
    dialog.reject();
    ASSERT_EQ(answers.received.size(), 1);
}
