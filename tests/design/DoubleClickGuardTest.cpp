#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyleHints>
#include <QVBoxLayout>

#include "design/DoubleClickGuard.h"

namespace {

int interval()
{
    return QGuiApplication::styleHints()->mouseDoubleClickInterval();
}

// The platform hands a triple click over as press, release, double-click, release, press, release. The
// third press follows the double click on the same spot within the double-click time: it aims at
// nothing, and neither does a fifth; a press later, or elsewhere, is a click of its own.
TEST(DoubleClickGuardTest, ATripleClickActsOnceAndTheNextClickActs)
{
    DoubleClickGuard guard;
    const QPointF at(200, 100);
    const QVariant first("row 1"), second("row 2");
    EXPECT_FALSE(guard.pressAt(first, 1000, at));
    EXPECT_TRUE(guard.release(first));
    // The rows moved: row 2 is under the pointer now.
    guard.doublePressAt(1080, at);
    EXPECT_FALSE(guard.release(second));
    EXPECT_TRUE(guard.pressAt(second, 1160, at + QPointF(1, 1)));
    EXPECT_FALSE(guard.release(second));
    guard.doublePressAt(1240, at);
    EXPECT_FALSE(guard.release(second));
    EXPECT_TRUE(guard.pressAt(second, 1240 + interval(), at));
    EXPECT_FALSE(guard.release(second));

    // Past the double-click time, a press acts again.
    const quint64 later = 1240 + 2 * interval() + 1;
    EXPECT_FALSE(guard.pressAt(second, later, at));
    EXPECT_TRUE(guard.release(second));
    // Within the time but away from the spot: another click.
    guard.doublePressAt(later + 80, at);
    const QPointF away = at + QPointF(QGuiApplication::styleHints()->mouseDoubleClickDistance() + 1, 0);
    EXPECT_FALSE(guard.pressAt(first, later + 160, away));
    EXPECT_TRUE(guard.release(first));
    // A clock that went back (the server's time wrapped) starts afresh, as does a forgotten press.
    guard.doublePressAt(later + 240, at);
    EXPECT_FALSE(guard.pressAt(first, 10, at));
    guard.forgetPress();
    EXPECT_FALSE(guard.release(first));
}

// A list of guarded buttons that drops the row clicked, as the approved clients' Revoke does: a triple
// click drops one row, whatever slid under the pointer; a click after the double-click time drops the
// next.
TEST(DoubleClickGuardTest, GuardedButtonsTakeOneOfThreePresses)
{
    QWidget list;
    auto* layout = new QVBoxLayout(&list);
    QStringList rows{"Alpha", "Bravo", "Charlie", "Delta"};
    QList<QPushButton*> buttons;
    for (const QString& name : rows) {
        auto* button = new QPushButton(name, &list);
        DoubleClickGuard::guardButton(button);
        QObject::connect(button, &QPushButton::clicked, &list, [&, button] {
            rows.removeOne(button->text());
            buttons.removeOne(button);
            button->hide();
            layout->removeWidget(button);
            button->deleteLater();
        });
        layout->addWidget(button);
        buttons << button;
    }
    layout->addStretch();  // packed at the top: the next row slides into the place of the one dropped
    list.resize(200, 200);
    list.show();
    QCoreApplication::processEvents();
    const QPoint at = buttons[0]->geometry().center();
    quint64 now = 50000;
    const auto send = [&](QEvent::Type type, quint64 time) {
        layout->activate();
        QWidget* under = list.childAt(at);
        ASSERT_TRUE(under);
        const QPoint local = under->mapFrom(&list, at);
        QMouseEvent event(type, local, under->mapToGlobal(local), Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        event.setTimestamp(time);
        QApplication::sendEvent(under, &event);
    };
    const auto tripleClick = [&] {
        send(QEvent::MouseButtonPress, now);
        send(QEvent::MouseButtonRelease, now + 10);
        send(QEvent::MouseButtonDblClick, now + 90);
        send(QEvent::MouseButtonRelease, now + 100);
        send(QEvent::MouseButtonPress, now + 180);
        send(QEvent::MouseButtonRelease, now + 190);
        now += 190;
    };
    tripleClick();
    EXPECT_EQ(rows, (QStringList{"Bravo", "Charlie", "Delta"}));
    now += interval() + 1;
    tripleClick();
    EXPECT_EQ(rows, (QStringList{"Charlie", "Delta"}));
}

}  // namespace
