#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "platform/PasswordDialog.h"

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
