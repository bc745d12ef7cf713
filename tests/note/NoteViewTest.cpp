#include <gtest/gtest.h>

#include <functional>

#include <QAccessible>
#include <QApplication>
#include <QCalendarWidget>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCursor>
#include <QFontInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#include "LocalZone.h"
#include "design/OverlayScrollBar.h"
#include "design/TarnwickTheme.h"
#include "design/TarnwickType.h"
#include "editor/blocks/PreviewFiles.h"
#include "editor/blocks/PreviewWindow.h"
#include "editor/text/FormattingShortcutsSheet.h"
#include "editor/text/RichNSTextView.h"
#include "model/NoteNotifications.h"
#include "model/NoteTheme.h"
#include "model/ResolvedNoteTheme.h"
#include "note/BlockNoteBody.h"
#include "note/NoteView.h"
#include "note/TimeField.h"
#include "platform/NotificationCenter.h"
#include "platform/SpellChecker.h"
#include "privacy/UnlockSession.h"
#include "store/SyncStatusView.h"
#include "support/Contrast.h"
#include "support/FakeAuthenticator.h"
#include "support/NoteStoreFixture.h"
#include "themes/NotePalettePopover.h"

using tarnwick::test::FakeAuthenticator;
using tarnwick::test::NoteStoreTestBase;

namespace {

// Stands in for the block editor in the body slot.
class FakeBody : public NoteBody {
public:
    using NoteBody::NoteBody;
    void setNote(Note* n) override { note = n; }
    void setTheme(const ResolvedNoteTheme& t) override { themes << t.id; }
    void focusBody() override { ++focusRequests; }
    QMenu* createEditMenu(const QPoint&) override
    {
        auto* menu = new QMenu;
        menu->addAction("Copy");
        return menu;
    }
    Note* note = nullptr;
    QStringList themes;
    int focusRequests = 0;
};

}  // namespace

class NoteViewTest : public NoteStoreTestBase {
protected:
    void SetUp() override
    {
        unlock = std::make_unique<UnlockSession>(*store, authenticator, clock, settings);
        NoteViewModel::Reminders reminders{[] { return true; }, [](const Note&) {}, [](const Note&) {}};
        view = std::make_unique<NoteView>(
            *store, *unlock, reminders, [] { return true; }, clock,
            [this](QWidget* parent) { return body = new FakeBody(parent); }, true);
        view->setPaletteFactory(
            [this](Note& n, QWidget* anchor) { return new NotePalettePopover(*store, n, nullptr, anchor); });
        note = addNote("Groceries", "milk");
        store->saveNow();
        view->resize(360, 300);
        view->setNote(note);
        view->setActive(true);
        view->show();
        QCoreApplication::processEvents();
        for (const QString& name : {tarnwickDismissNote, tarnwickToggleRollUp, tarnwickToggleZoom, tarnwickDragNote,
                                    tarnwickResizeDrag, tarnwickFormatCommand})
            tokens.push_back(NotificationCenter::shared().observe(name, [this](const Notification& n) { seen << n; }));
    }
    QToolButton* button(const QString& name) { return view->findChild<QToolButton*>(name); }
    QString id() const { return note->uuid().toString(QUuid::WithoutBraces).toUpper(); }
    void drag(QWidget* on, QPoint from, const QList<QPoint>& steps)
    {
        QTest::mousePress(on, Qt::LeftButton, {}, from);
        for (const QPoint& p : steps) {
            QMouseEvent move(QEvent::MouseMove, p, on->mapToGlobal(p), Qt::NoButton, Qt::LeftButton, {});
            QApplication::sendEvent(on, &move);
        }
        QTest::mouseRelease(on, Qt::LeftButton, {}, steps.last());
    }

    FakeAuthenticator authenticator;
    std::unique_ptr<UnlockSession> unlock;
    std::unique_ptr<NoteView> view;
    FakeBody* body = nullptr;
    Note* note = nullptr;
    QList<Notification> seen;
    std::vector<ObserverToken> tokens;
};

TEST_F(NoteViewTest, ChromePostsWithTheNoteID)
{
    EXPECT_EQ(body->note, note);
    EXPECT_FALSE(body->themes.isEmpty());
    EXPECT_EQ(body->focusRequests, 1);
    const QList<std::pair<QString, QString>> clicks{
        {"closeDot", tarnwickDismissNote}, {"rollUpDot", tarnwickToggleRollUp}, {"zoomDot", tarnwickToggleZoom}};
    for (const auto& [name, posted] : clicks) {
        QToolButton* dot = button(name);
        ASSERT_TRUE(dot) << name.toStdString();
        QTest::mouseClick(dot, Qt::LeftButton, {}, dot->rect().center());
        ASSERT_FALSE(seen.isEmpty());
        EXPECT_EQ(seen.last().name, posted);
        EXPECT_EQ(seen.last().object, id());
    }
    for (const NoteViewModel::FormatButton& spec : NoteViewModel::formatButtons()) {
        QToolButton* format = button(FormatCommands::rawValue(spec.command));
        ASSERT_TRUE(format && format->isVisible());
        EXPECT_FALSE(format->icon().isNull());
        format->click();
        EXPECT_EQ(seen.last().name, tarnwickFormatCommand);
        EXPECT_EQ(seen.last().userInfo.value("command").toString(), FormatCommands::rawValue(spec.command));
    }
    for (const char* name : {"opacityButton", "lockButton"}) EXPECT_FALSE(button(name)->icon().isNull()) << name;

    // An inactive window: grey dots only, no buttons to click, no format row.
    view->setActive(false);
    EXPECT_FALSE(button("opacityButton")->isVisible());
    EXPECT_FALSE(button("lockButton")->isVisible());
    EXPECT_FALSE(button("bold")->isVisible());
    EXPECT_EQ(view->childAt(button("lockButton")->geometry().center()), nullptr);

    // A redacted note has no opacity button, even when active.
    view->setActive(true);
    note->setIsLocked(true);
    EXPECT_FALSE(button("opacityButton")->isVisible());
    EXPECT_TRUE(button("lockButton")->isVisible());
    EXPECT_TRUE(view->findChild<QWidget*>("lockPanel")->isVisible());
    EXPECT_FALSE(body->isVisible());
}

// Two note windows: the window manager gives the inactive one the focus and then hands over the click
// that asked for it, which lands where the buttons have just appeared. That click only made the window
// key: the opacity, lock and design buttons take a press once they have shown, or one aimed there from
// elsewhere (the window was made key some other way); the dots take it at once.
TEST_F(NoteViewTest, TheClickThatMakesTheWindowKeyPressesNoButton)
{
    const auto activateUnder = [&](QToolButton* b) {
        view->setActive(false);
        clock.advance(1000);
        QCursor::setPos(b->mapToGlobal(b->rect().center()));
        view->setActive(true);
        ASSERT_TRUE(b->isVisible());
    };
    for (const char* name : {"opacityButton", "lockButton", "paletteButton"}) {
        QToolButton* b = button(name);
        activateUnder(b);
        QTest::mouseClick(b, Qt::LeftButton, {}, b->rect().center());
        QTest::mouseDClick(b, Qt::LeftButton, {}, b->rect().center());
        QTest::mouseRelease(b, Qt::LeftButton, {}, b->rect().center());
    }
    EXPECT_FALSE(note->isLocked());
    EXPECT_FALSE(view->opacityPopover());
    EXPECT_FALSE(view->palettePopover());
    QToolButton* zoom = button("zoomDot");
    activateUnder(zoom);
    QTest::mouseClick(zoom, Qt::LeftButton, {}, zoom->rect().center());
    ASSERT_FALSE(seen.isEmpty());
    EXPECT_EQ(seen.last().name, tarnwickToggleZoom);

    QToolButton* palette = button("paletteButton");
    activateUnder(palette);
    clock.advance(NoteViewModel::kKeyClickMs);
    QTest::mouseClick(palette, Qt::LeftButton, {}, palette->rect().center());
    EXPECT_TRUE(view->palettePopover());
    view->model().setShowingPalette(false);
    QCoreApplication::processEvents();

    QToolButton* opacity = button("opacityButton");
    activateUnder(button("closeDot"));
    QTest::mouseClick(opacity, Qt::LeftButton, {}, opacity->rect().center());
    EXPECT_TRUE(view->opacityPopover());
}

// A locked note's title and the lock panel's heading are set in the shipped serif.
TEST_F(NoteViewTest, LockedTitleAndHeadingUseTheBrandSerif)
{
    TarnwickType::registerBundledFonts();
    ASSERT_TRUE(TarnwickType::newsreaderAvailable());
    NoteViewModel::Reminders reminders{[] { return true; }, [](const Note&) {}, [](const Note&) {}};
    NoteView locked(
        *store, *unlock, reminders, [] { return true; }, clock, [](QWidget* parent) { return new FakeBody(parent); },
        true);
    note->setIsLocked(true);
    locked.setNote(note);
    QLabel* heading = nullptr;
    for (QLabel* label : locked.findChildren<QLabel*>())
        if (label->text() == "This note is locked") heading = label;
    ASSERT_NE(heading, nullptr);
    EXPECT_EQ(QFontInfo(heading->font()).family(), "Newsreader");
    EXPECT_EQ(QFontInfo(locked.findChild<QLineEdit*>("lockedTitle")->font()).family(), "Newsreader");
}

// The strip posts whole translations; the grip posts increments, then "ended".
TEST_F(NoteViewTest, StripAndGripDrags)
{
    drag(view.get(), QPoint(150, 10), {QPoint(151, 10), QPoint(170, 10), QPoint(190, 15), QPoint(250, 60)});
    QList<double> dx;
    for (const Notification& n : seen) {
        EXPECT_EQ(n.name, tarnwickDragNote);
        dx << n.userInfo.value("dx").toDouble();
    }
    EXPECT_EQ(dx, (QList<double>{20, 40, 100, 100}));
    EXPECT_TRUE(seen.last().userInfo.value("ended").toBool());

    seen.clear();
    QWidget* grip = view->findChild<QWidget*>("resizeGrip");
    ASSERT_TRUE(grip && grip->isVisible());
    const QPoint start(16, 16);
    drag(grip, start, {start + QPoint(5, 0), start + QPoint(12, 0), start + QPoint(15, 0), start + QPoint(20, 4)});
    QList<std::pair<double, double>> steps;
    for (const Notification& n : seen) {
        EXPECT_EQ(n.name, tarnwickResizeDrag);
        steps << std::pair{n.userInfo.value("dx").toDouble(), n.userInfo.value("dy").toDouble()};
    }
    EXPECT_EQ(steps, (QList<std::pair<double, double>>{{12, 0}, {3, 0}, {5, 4}, {0, 0}}));
    EXPECT_TRUE(seen.last().userInfo.value("ended").toBool());

    // A double-click on the strip zooms once.
    seen.clear();
    QTest::mouseDClick(view.get(), Qt::LeftButton, {}, QPoint(150, 20));
    ASSERT_EQ(seen.size(), 1);
    EXPECT_EQ(seen[0].name, tarnwickToggleZoom);
}

TEST_F(NoteViewTest, PaperAlphaFollowsTheOpacity)
{
    auto alphaAt = [&] { return view->grab().toImage().pixelColor(180, 200).alpha(); };
    EXPECT_EQ(alphaAt(), 255);
    view->setWindowOpacity(0.4);
    EXPECT_NEAR(alphaAt(), 102, 2);
}

// One menu over the body: the editor's items, a separator, then the note's; Duplicate and Delete act.
TEST_F(NoteViewTest, ContextMenu)
{
    std::unique_ptr<QMenu> menu(view->buildContextMenu(body->geometry().center()));
    QStringList labels;
    for (QAction* a : menu->actions()) labels << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(labels,
              (QStringList{"Copy", "-", QString::fromUtf8("Lock \u00B7 Password"), QString::fromUtf8("Remind me\u2026"),
                           "-", "Duplicate", "Formatting shortcuts", "-", "Delete note"}));
    std::unique_ptr<QMenu> strip(view->buildContextMenu(QPoint(150, 10)));
    EXPECT_EQ(strip->actions().first()->text(), QString::fromUtf8("Lock \u00B7 Password"));

    QStringList created;
    ObserverToken token = NotificationCenter::shared().observe(tarnwickDidCreateNote,
                                                               [&](const Notification& n) { created << n.object; });
    // "Delete note" is drawn in the destructive colour, its neighbours are not.
    menu->adjustSize();
    const QImage drawn = menu->grab().toImage();
    auto inkOf = [&](QAction* action) {
        const QRect row = menu->actionGeometry(action);
        const QColor red = TarnwickTheme::destructive();
        int count = 0;
        for (int y = row.top(); y <= row.bottom(); ++y)
            for (int x = row.left(); x <= row.right(); ++x) {
                const QColor c = drawn.pixelColor(x, y);
                count += std::abs(c.red() - red.red()) + std::abs(c.green() - red.green()) +
                             std::abs(c.blue() - red.blue()) <
                         40;
            }
        return count;
    };
    EXPECT_GT(inkOf(menu->actions().at(8)), 0);
    EXPECT_EQ(inkOf(menu->actions().at(5)), 0);

    menu->actions().at(5)->trigger();
    ASSERT_EQ(created.size(), 1);
    EXPECT_NE(created[0], id());
    menu->actions().at(8)->trigger();
    EXPECT_TRUE(note->isTrashed());
}

// With the block editor as the body, a right-click on the text pops up one menu: the text's edit items,
// then the note's; on the strip, the note's alone.
TEST_F(NoteViewTest, OneMenuOverTheBlockEditor)
{
    QTemporaryDir dir;
    PreviewFiles previews(dir.filePath("previews"));
    NoteViewModel::Reminders reminders{[] { return true; }, [](const Note&) {}, [](const Note&) {}};
    NoteView real(
        *store, *unlock, reminders, [] { return true; }, clock,
        [&](QWidget* parent) {
            return new BlockNoteBody({*store, previews, clock, NotificationCenter::shared(), SpellChecker::desktop()},
                                     NoteView::gutter, parent);
        },
        true);
    real.resize(360, 300);
    real.setNote(note);
    real.setActive(true);
    real.show();
    QCoreApplication::processEvents();
    auto popped = [](QWidget* on, QPoint at) {
        // A menu shown modally by the block itself would block here: close it, so the test fails instead.
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [] {
            if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
        });
        guard.start(500);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, on->mapToGlobal(at));
        QApplication::sendEvent(on, &event);
        QStringList labels;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* menu = qobject_cast<QMenu*>(w); menu && menu->isVisible()) {
                for (QAction* a : menu->actions()) labels << (a->isSeparator() ? "-" : a->text());
                menu->close();
            }
        QCoreApplication::processEvents();
        return labels;
    };
    auto texts = real.findChildren<RichNSTextView*>();
    ASSERT_FALSE(texts.isEmpty());
    const QStringList overText = popped(texts.first()->viewport(), QPoint(10, 5));
    ASSERT_GE(overText.size(), 3);
    EXPECT_EQ(overText.first(), "Undo");
    const auto lock = overText.indexOf(QString::fromUtf8("Lock \u00B7 Password"));
    ASSERT_GT(lock, 0);
    EXPECT_EQ(overText.at(lock - 1), "-");
    EXPECT_TRUE(overText.contains("Select All"));
    EXPECT_EQ(overText.count(QString::fromUtf8("Lock \u00B7 Password")), 1);

    const QStringList onStrip = popped(&real, QPoint(150, 10));
    ASSERT_FALSE(onStrip.isEmpty());
    EXPECT_EQ(onStrip.first(), QString::fromUtf8("Lock \u00B7 Password"));
}

// The popovers open as popups, and Return in the calendar presses "Set".
TEST_F(NoteViewTest, Popovers)
{
    button("opacityButton")->click();
    ASSERT_TRUE(view->opacityPopover());
    EXPECT_TRUE(view->opacityPopover()->windowFlags() & Qt::Popup);
    view->opacityPopover()->close();
    QCoreApplication::processEvents();
    EXPECT_FALSE(view->model().showingOpacity());

    view->model().openReminder();
    ReminderPopover* reminder = view->reminderPopover();
    ASSERT_TRUE(reminder);
    EXPECT_FALSE(reminder->clearButton());
    QTest::keyClick(reminder->calendar()->focusProxy() ? reminder->calendar()->focusProxy() : reminder->calendar(),
                    Qt::Key_Return);
    EXPECT_EQ(note->reminderDate()->secsTo(now().addSecs(3600)), 0);
    EXPECT_FALSE(view->model().showingReminder());
}

// Return in the calendar's month menu picks the month, and in its year field the year: the popover
// stays, nothing is stored, and the chosen day moves to the month shown. "Set", clicked while a year
// is being typed or reached by Return from the time, stores the date shown as chosen. Every week row
// of a six-week month shows whole.
TEST_F(NoteViewTest, ReturnInTheCalendarsMenuAndYearPicksThemOnly)
{
    view->model().openReminder();
    // Held weakly: a popover closed by a stray "Set" is deleted.
    QPointer<ReminderPopover> reminder = view->reminderPopover();
    ASSERT_TRUE(reminder);
    QCalendarWidget* calendar = reminder->calendar();
    calendar->setSelectedDate(QDate(2026, 8, 31));
    auto* days = calendar->findChild<QTableView*>(QStringLiteral("qt_calendar_calendarview"));
    ASSERT_TRUE(days);
    QCoreApplication::processEvents();
    const int lastRow = days->model()->rowCount() - 1;
    EXPECT_LE(days->rowViewportPosition(lastRow) + days->rowHeight(lastRow), days->viewport()->height())
        << "the sixth week (August 31st) is cut off";
    // Room for every row at its least height inside the frame, whatever the fonts make of the rows.
    auto* monthBar = calendar->findChild<QWidget*>(QStringLiteral("qt_calendar_navigationbar"));
    ASSERT_TRUE(monthBar);
    EXPECT_GE(calendar->height(), monthBar->height() + (lastRow + 1) * days->verticalHeader()->minimumSectionSize() +
                                      2 * days->frameWidth());

    auto* monthButton = calendar->findChild<QToolButton*>(QStringLiteral("qt_calendar_monthbutton"));
    ASSERT_TRUE(monthButton && monthButton->menu());
    QPointer<QMenu> months = monthButton->menu();
    months->popup(monthButton->mapToGlobal(QPoint(0, monthButton->height())));
    ASSERT_TRUE(QTest::qWaitFor([&] { return months->isVisible(); }));
    months->setActiveAction(months->actions().at(1));
    QTest::keyClick(months, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !months || !months->isVisible(); }));
    EXPECT_FALSE(note->reminderDate()) << "Return in the month menu pressed Set";
    ASSERT_TRUE(reminder && reminder->isVisible()) << "Return in the month menu closed the popover";
    EXPECT_EQ(calendar->monthShown(), 2);
    EXPECT_EQ(calendar->selectedDate(), QDate(2026, 2, 28)) << "the chosen day follows the month shown";

    auto* yearButton = calendar->findChild<QToolButton*>(QStringLiteral("qt_calendar_yearbutton"));
    auto* year = calendar->findChild<QSpinBox*>(QStringLiteral("qt_calendar_yearedit"));
    ASSERT_TRUE(yearButton && year);
    const auto typeYear = [&](const char* digits) {
        yearButton->click();
        ASSERT_TRUE(year->isVisible() && year->hasFocus());
        QTest::keyClick(year, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(year, digits);
    };
    typeYear("2030");
    QTest::keyClick(year, Qt::Key_Return);
    EXPECT_FALSE(note->reminderDate()) << "Return in the year field pressed Set";
    ASSERT_TRUE(reminder && reminder->isVisible()) << "Return in the year field closed the popover";
    EXPECT_FALSE(year->isVisible());
    EXPECT_EQ(calendar->yearShown(), 2030);
    EXPECT_EQ(calendar->selectedDate(), QDate(2030, 2, 28));
    EXPECT_TRUE(days->hasFocus()) << "the keyboard goes on to the days";

    typeYear("2031");
    QPushButton* set = nullptr;
    for (auto* b : reminder->findChildren<QPushButton*>())
        if (b->text() == "Set") set = b;
    ASSERT_TRUE(set);
    QTest::mouseClick(set, Qt::LeftButton);
    ASSERT_TRUE(note->reminderDate());
    EXPECT_EQ(note->reminderDate()->toLocalTime().date(), QDate(2031, 2, 28)) << "Set stored another year than shown";
    EXPECT_FALSE(view->model().showingReminder());

    view->model().openReminder();
    reminder = view->reminderPopover();
    ASSERT_TRUE(reminder);
    QTest::keyClick(reminder->calendar()->findChild<QTableView*>(QStringLiteral("qt_calendar_calendarview")),
                    Qt::Key_PageDown);
    QTest::keyClick(reminder->time(), Qt::Key_Return);
    EXPECT_EQ(note->reminderDate()->toLocalTime().date(), QDate(2031, 3, 28)) << "Return in the time field sets";
    EXPECT_FALSE(view->model().showingReminder());
}

// A time typed over the reminder's time field, however it was emptied and wherever the caret stood,
// is the time shown and the one Return or "Set" stores, on the day chosen; a text that is no time is
// kept as typed with the reason shown, and stores nothing. Picking a part and typing, the arrows and
// a paste still work.
TEST_F(NoteViewTest, ATimeTypedOverTheReminderFieldIsTheOneStored)
{
    // A double click where the caret would go before slot `at`.
    static const auto doubleClickAt = [](TimeField* field, int at) {
        QPoint point(0, field->height() / 2);
        while (point.x() < field->width() && field->cursorPositionAt(point) < at) point.rx()++;
        QTest::mouseDClick(field, Qt::LeftButton, {}, point);
    };
    const QDate day(2031, 5, 6);
    struct Case {
        const char* name;
        std::function<void(TimeField*)> keys;
        std::optional<QTime> expected;  // none: refused, the text kept as shown
        const char* shown = nullptr;
    };
    const auto keys = [](std::vector<Qt::Key> list) {
        return [list](TimeField* field) {
            for (Qt::Key key : list) QTest::keyClick(field, key);
        };
    };
    const auto then = [](std::function<void(TimeField*)> first, const char* typed) {
        return [first, typed](TimeField* field) {
            first(field);
            QTest::keyClicks(field, typed);
        };
    };
    const auto all = [](TimeField* field) { QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier); };
    const auto caretAt = [](int at) { return [at](TimeField* field) { field->setCursorPosition(at); }; };
    const auto step = [](TimeField* field, int at, Qt::Key key) {
        field->setCursorPosition(at);
        QTest::keyClick(field, key);
    };
    const auto emptied = keys(
        {Qt::Key_End, Qt::Key_Backspace, Qt::Key_Backspace, Qt::Key_Backspace, Qt::Key_Backspace, Qt::Key_Backspace});
    const Case cases[] = {
        {"Ctrl+A, 23:15", then(all, "23:15"), QTime(23, 15)},
        {"Ctrl+A, 08:05", then(all, "08:05"), QTime(8, 5)},
        {"Ctrl+A, 1245", then(all, "1245"), QTime(12, 45)},
        {"Ctrl+A, 9", then(all, "9"), QTime(9, 0)},
        {"Ctrl+A, 7:5", then(all, "7:5"), QTime(7, 5)},
        {"End, Backspace x5, 10:20", then(emptied, "10:20"), QTime(10, 20)},
        {"Home, 16:45", then(keys({Qt::Key_Home}), "16:45"), QTime(16, 45)},
        {"Home, 1245", then(keys({Qt::Key_Home}), "1245"), QTime(12, 45)},
        {"Home, 1 then 8", then(then(keys({Qt::Key_Home}), "1"), "8"), QTime(18, 50)},
        {"caret inside the hour, 23:15", then(caretAt(1), "23:15"), QTime(23, 15)},
        {"caret inside the minutes, 2315", then(caretAt(4), "2315"), QTime(23, 15)},
        {"End, 7:30", then(keys({Qt::Key_End}), "7:30"), QTime(7, 30)},
        {"Home, Delete, 16", then(keys({Qt::Key_Home, Qt::Key_Delete}), "16"), QTime(16, 50)},
        {"a double click on the hour, 07", then([](TimeField* f) { doubleClickAt(f, 1); }, "07"), QTime(7, 50)},
        {"a double click on the minutes, 05", then([](TimeField* f) { doubleClickAt(f, 4); }, "05"), QTime(22, 5)},
        {"Up on the hour", [&](TimeField* f) { step(f, 1, Qt::Key_Up); }, QTime(23, 50)},
        {"Down on the minutes", [&](TimeField* f) { step(f, 4, Qt::Key_Down); }, QTime(22, 49)},
        {"Page Up on the minutes", [&](TimeField* f) { step(f, 4, Qt::Key_PageUp); }, QTime(22, 59)},
        {"pasted 23:15 with the caret inside",
         [&](TimeField* f) {
             QApplication::clipboard()->setText(" 23:15\n");
             caretAt(2)(f);
             QTest::keyClick(f, Qt::Key_V, Qt::ControlModifier);
         },
         QTime(23, 15)},
        {"the menu's Paste with the caret at the end",
         [&](TimeField* f) {
             QApplication::clipboard()->setText("7:05");
             f->end(false);
             QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), f->mapToGlobal(QPoint(5, 5)));
             QApplication::sendEvent(f, &event);
             QAction* paste = nullptr;
             for (QWidget* w : QApplication::topLevelWidgets())
                 if (auto* menu = qobject_cast<QMenu*>(w); menu && menu->isVisible()) {
                     for (QAction* a : menu->actions())
                         if (a->text().startsWith("&Paste")) paste = a;
                     if (paste) paste->trigger();
                     menu->close();
                 }
             EXPECT_TRUE(paste) << "no Paste in the field's menu";
         },
         QTime(7, 5)},
        {"no time: Ctrl+A, 25:70", then(all, "25:70"), std::nullopt, "25:70"},
        {"no time: emptied", emptied, std::nullopt, "  :  "},
        {"no time: the caret in the hour, 9", then(caretAt(1), "9"), std::nullopt, "29:50"},
        {"no time: Ctrl+A, 23:60", then(all, "23:60"), std::nullopt, "23:60"},
        {"no time: Ctrl+A, 24:00", then(all, "24:00"), std::nullopt, "24:00"},
        {"no time: Ctrl+A, 1:2:3", then(all, "1:2:3"), std::nullopt, "1:2:3"},
        {"no time: 23:15 then 9", then(then(all, "23:15"), "9"), std::nullopt, "23:159"},
        {"no time: 22:50 pm", then(keys({Qt::Key_End}), " pm"), std::nullopt, "22:50 pm"},
        {"typed 2:30 PM", then(all, "2:30 PM"), QTime(14, 30)},
        {"typed 7 PM", then(all, "7 PM"), QTime(19, 0)},
        {"typed 12:00 AM", then(all, "12:00 AM"), QTime(0, 0)},
        {"typed 12:30 am", then(all, "12:30 am"), QTime(0, 30)},
        {"typed 2:30pm", then(all, "2:30pm"), QTime(14, 30)},
        {"typed 9:05 a.m.", then(all, "9:05 a.m."), QTime(9, 5)},
        {"typed 7 PM, then Ctrl+Z",
         [&](TimeField* f) {
             then(all, "7 PM")(f);
             QTest::keyClick(f, Qt::Key_Z, Qt::ControlModifier);
         },
         QTime(22, 50)},
        {"am added at the end", then(keys({Qt::Key_End}), " am"), std::nullopt, "22:50 am"},
        {"PM after minutes typed over", then(caretAt(3), "30 pm"), std::nullopt, "22:30 pm"},
        {"caret in the minutes, 23:60", then(caretAt(4), "23:60"), std::nullopt, "23:60"},
        {"no time: an emoji at the end",
         [&](TimeField* f) {
             f->end(false);
             QTest::sendKeyEvent(QTest::Click, f, Qt::Key_unknown, QStringLiteral("\U0001F642"), Qt::NoModifier);
         },
         std::nullopt, "22:50\U0001F642"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        note->setReminderDate(QDateTime(day, QTime(22, 50)));
        view->model().openReminder();
        QPointer<ReminderPopover> reminder = view->reminderPopover();
        ASSERT_TRUE(reminder);
        TimeField* field = reminder->time();
        field->setFocus();
        c.keys(field);
        QTest::keyClick(field, Qt::Key_Return);
        ASSERT_TRUE(note->reminderDate());
        if (!c.expected) {
            ASSERT_TRUE(reminder && view->model().showingReminder()) << "a text that is no time was set";
            EXPECT_EQ(note->reminderDate()->toLocalTime(), QDateTime(day, QTime(22, 50)));
            EXPECT_EQ(field->displayText(), c.shown) << "the text typed is not the one shown";
            EXPECT_TRUE(field->unreadable());
            EXPECT_TRUE(reminder->problem()->isVisibleTo(reminder));
            EXPECT_TRUE(reminder->problem()->text().contains(QString::fromUtf8(c.shown).trimmed()))
                << reminder->problem()->text().toStdString();
            reminder->close();
            QCoreApplication::processEvents();
            continue;
        }
        EXPECT_FALSE(view->model().showingReminder());
        EXPECT_EQ(note->reminderDate()->toLocalTime(), QDateTime(day, *c.expected));
        if (reminder) {
            EXPECT_EQ(field->displayText(), c.expected->toString("hh:mm")) << "shown is not stored";
        }
        QCoreApplication::processEvents();
    }

    // "Set" clicked while the time is being typed reads it finished, and a field left with a time that
    // is none keeps it, marked, until it is mended.
    note->setReminderDate(QDateTime(day, QTime(22, 50)));
    view->model().openReminder();
    ReminderPopover* reminder = view->reminderPopover();
    ASSERT_TRUE(reminder);
    TimeField* field = reminder->time();
    field->setFocus();
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(field, "25");
    reminder->calendar()->setFocus();
    EXPECT_EQ(field->text(), "25:");
    EXPECT_TRUE(field->unreadable() && reminder->problem()->isVisibleTo(reminder));
    field->setFocus();
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(field, "0630");
    QPushButton* set = nullptr;
    for (auto* b : reminder->findChildren<QPushButton*>())
        if (b->text() == "Set") set = b;
    ASSERT_TRUE(set);
    set->click();
    EXPECT_EQ(note->reminderDate()->toLocalTime(), QDateTime(day, QTime(6, 30)));
    QCoreApplication::processEvents();

    // Return with nothing typed keeps the reminder to the second.
    const QDateTime held(day, QTime(22, 50, 37));
    note->setReminderDate(held);
    view->model().openReminder();
    ASSERT_TRUE(view->reminderPopover());
    QTest::keyClick(view->reminderPopover()->time(), Qt::Key_Return);
    EXPECT_EQ(note->reminderDate()->toLocalTime(), held);
}

// Keys as a desktop keyboard sends them: ":" comes after a lone Shift press, as on every common layout.
static void typeAsKeyboard(QWidget* widget, const char* text)
{
    for (const char* c = text; *c; ++c) {
        if (*c != ':') {
            QTest::keyClick(widget, *c);
            continue;
        }
        QTest::keyPress(widget, Qt::Key_Shift);
        QTest::keyClick(widget, ':', Qt::ShiftModifier);
        QTest::keyRelease(widget, Qt::Key_Shift, Qt::ShiftModifier);
    }
}

// A whole time typed as the keyboard sends it is the one shown and stored, wherever the caret stood
// (at the end too, where no slot is left); "7:5" is 07:05; "2:30 PM" pasted is 14:30, words are refused.
TEST_F(NoteViewTest, ATimeTypedAsTheKeyboardSendsItIsTheOneStored)
{
    const QDate day(2031, 5, 6);
    const struct {
        const char* name;
        std::vector<Qt::Key> keys;
        const char* typed;  // or, after "paste:", the text pasted with Ctrl+V
        QTime expected;
    } cases[] = {
        {"the caret at the end, 16:45", {Qt::Key_End}, "16:45", QTime(16, 45)},
        {"Home, Right, 23:15", {Qt::Key_Home, Qt::Key_Right}, "23:15", QTime(23, 15)},
        {"Home, 7:5", {Qt::Key_Home}, "7:5", QTime(7, 5)},
        {"Home, 12:5", {Qt::Key_Home}, "12:5", QTime(12, 5)},
        {"the caret at the end, 7:55", {Qt::Key_End}, "7:55", QTime(7, 55)},
        {"pasted 2:30 PM", {Qt::Key_End}, "paste:2:30 PM", QTime(14, 30)},
        {"pasted words", {Qt::Key_Home}, "paste:at 2:30 tomorrow", QTime(8, 5)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        note->setReminderDate(QDateTime(day, QTime(8, 5)));
        view->model().openReminder();
        QPointer<ReminderPopover> reminder = view->reminderPopover();
        ASSERT_TRUE(reminder);
        TimeField* field = reminder->time();
        field->setFocus();
        for (Qt::Key key : c.keys) QTest::keyClick(field, key);
        if (const QByteArray typed(c.typed); typed.startsWith("paste:")) {
            QApplication::clipboard()->setText(QString::fromLatin1(typed.mid(6)));
            QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
        } else {
            typeAsKeyboard(field, c.typed);
        }
        const QString shown = field->displayText();
        QTest::keyClick(field, Qt::Key_Return);
        ASSERT_TRUE(note->reminderDate());
        EXPECT_EQ(note->reminderDate()->toLocalTime(), QDateTime(day, c.expected));
        EXPECT_EQ(shown, c.expected.toString("hh:mm")) << "what was shown at Return is not what was stored";
        QCoreApplication::processEvents();
    }
}

// A date typed over the days is read in the calendar's locale (digits alone are a day of the month
// shown) and is the one Set stores, by Return or a click. One that is no date is kept with the reason,
// the date shown stays and nothing is stored, also by a later Set; Escape drops it.
TEST_F(NoteViewTest, ReminderSetTakesTheDateTypedOverTheDays)
{
    const QLocale us(QLocale::English, QLocale::UnitedStates), gb(QLocale::English, QLocale::UnitedKingdom),
        de(QLocale::German, QLocale::Germany), se(QLocale::Swedish, QLocale::Sweden), c = QLocale::c();
    const struct {
        const QLocale& locale;
        const char* typed;
        const char* expected;
    } cases[] = {
        {gb, "27", "2031-05-27"},         {us, "27", "2031-05-27"},         {se, "25", "2031-05-25"},
        {c, "28 03 2032", "2032-03-28"},  {c, "28 Mar 2032", "2032-03-28"}, {us, "3/28/2032", "2032-03-28"},
        {de, "28.03.2032", "2032-03-28"}, {se, "2032-03-28", "2032-03-28"},
    };
    const auto open = [&](const QLocale& locale) {
        note->setReminderDate(QDateTime(QDate(2031, 5, 6), QTime(9, 0)));
        view->model().openReminder();
        ReminderPopover* reminder = view->reminderPopover();
        reminder->calendar()->setLocale(locale);
        auto* days = reminder->calendar()->findChild<QTableView*>(QStringLiteral("qt_calendar_calendarview"));
        days->setFocus();
        return std::pair(reminder, days);
    };
    const auto set = [](ReminderPopover* reminder) {
        for (auto* b : reminder->findChildren<QPushButton*>())
            if (b->text() == "Set") b->click();
    };
    for (const auto& [locale, typed, expected] : cases) {
        for (const bool byReturn : {true, false}) {
            SCOPED_TRACE(locale.name().toStdString() + " " + typed + (byReturn ? ", Return" : ", Set clicked"));
            auto [reminder, days] = open(locale);
            ASSERT_TRUE(reminder && days);
            QTest::keyClicks(days, typed);
            EXPECT_EQ(reminder->dateField()->text(), typed);
            byReturn ? QTest::keyClick(days, Qt::Key_Return) : set(reminder);
            EXPECT_FALSE(view->model().showingReminder());
            EXPECT_EQ(note->reminderDate()->toLocalTime().toString(Qt::ISODate), QString(expected) + "T09:00:00");
            QCoreApplication::processEvents();
        }
    }

    auto [reminder, days] = open(c);
    QPointer<ReminderPopover> held = reminder;
    QTest::keyClicks(days, "28 13 2032");
    QTest::keyClick(reminder->dateField(), Qt::Key_Return);
    set(reminder);
    ASSERT_TRUE(held && view->model().showingReminder()) << "a text that is no date was set";
    EXPECT_EQ(note->reminderDate()->toLocalTime(), QDateTime(QDate(2031, 5, 6), QTime(9, 0)));
    EXPECT_EQ(reminder->calendar()->selectedDate(), QDate(2031, 5, 6)) << "the date shown moved";
    EXPECT_TRUE(reminder->dateField()->isVisibleTo(reminder));
    EXPECT_TRUE(reminder->problem()->isVisibleTo(reminder));
    EXPECT_TRUE(reminder->problem()->text().contains("28 13 2032"));
    QTest::keyClick(reminder->dateField(), Qt::Key_Escape);
    ASSERT_TRUE(held && view->model().showingReminder()) << "Escape in the date closed the popover";
    EXPECT_FALSE(reminder->dateField()->isVisibleTo(reminder));
    EXPECT_FALSE(reminder->problem()->isVisibleTo(reminder));
    set(reminder);
    EXPECT_EQ(note->reminderDate()->toLocalTime(), QDateTime(QDate(2031, 5, 6), QTime(9, 0)));
    EXPECT_FALSE(view->model().showingReminder());
}

// However the reminder popover opens (the context menu, the note's "remind" action, the model), it
// gives the keyboard to the days as it shows: keys typed at once, through the window as the desktop
// sends them, reach the date field, and Return stores that date (or, with nothing typed, the draft).
TEST_F(NoteViewTest, ReminderPopoverTakesKeysTypedAsItOpens)
{
    const std::pair<const char*, std::function<void()>> openings[] = {
        {"context menu",
         [this] {
             std::unique_ptr<QMenu> menu(view->buildContextMenu(body->geometry().center()));
             for (QAction* action : menu->actions())
                 if (action->text().startsWith("Remind")) action->trigger();
         }},
        {"remind action",
         [this] {
             NotificationCenter::shared().post(tarnwickNoteAction, id(), {{"action", QStringLiteral("remind")}});
         }},
        {"model", [this] { view->model().openReminder(); }},
    };
    const std::pair<const char*, const char*> cases[] = {
        {"27", "2031-05-27"}, {"3/28/2032", "2032-03-28"}, {"", "2031-05-06"}};
    for (const auto& [how, open] : openings) {
        for (const auto& [typed, expected] : cases) {
            SCOPED_TRACE(std::string(how) + ", \"" + typed + "\"");
            note->setReminderDate(QDateTime(QDate(2031, 5, 6), QTime(9, 0)));
            open();
            QPointer<ReminderPopover> reminder = view->reminderPopover();
            ASSERT_TRUE(reminder);
            reminder->calendar()->setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
            EXPECT_EQ(QApplication::focusWidget(),
                      reminder->calendar()->findChild<QTableView*>(QStringLiteral("qt_calendar_calendarview")));
            QWindow* window = view->window()->windowHandle();
            for (const char* c = typed; *c; ++c) QTest::keyClick(window, *c);
            EXPECT_EQ(reminder->dateField()->text().toStdString(), typed);
            QTest::keyClick(window, Qt::Key_Return);
            EXPECT_FALSE(view->model().showingReminder());
            EXPECT_EQ(note->reminderDate()->toLocalTime().toString(Qt::ISODate).toStdString(),
                      std::string(expected) + "T09:00:00");
            if (reminder) reminder->close();
            QCoreApplication::processEvents();
        }
    }
}

// 02:30 on the night Berlin's clocks go forward is stored as 03:30 summer time and shown so; Set
// never leaves the popover open with nothing stored.
TEST_F(NoteViewTest, ReminderSetStoresATimeTheClocksSkip)
{
    const LocalZone berlin("Europe/Berlin");
    note->setReminderDate(QDateTime(QDate(2027, 3, 28), QTime(12, 0)));
    view->model().openReminder();
    QPointer<ReminderPopover> reminder = view->reminderPopover();
    ASSERT_TRUE(reminder);
    TimeField* field = reminder->time();
    field->setFocus();
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    typeAsKeyboard(field, "02:30");
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_FALSE(view->model().showingReminder()) << "Set did nothing";
    ASSERT_TRUE(note->reminderDate());
    EXPECT_EQ(note->reminderDate()->toUTC(), QDateTime(QDate(2027, 3, 28), QTime(1, 30), Qt::UTC));
    if (reminder) {
        EXPECT_EQ(field->displayText(), "03:30");
    }
    QCoreApplication::processEvents();
}

// The reminder popover is drawn as the note is: a heading, ink weekends, a time field without the
// desktop's spin arrows, "Set" as the primary button and "Clear" as the quiet one.
TEST_F(NoteViewTest, ReminderPopoverWearsTheNotesLook)
{
    note->setReminderDate(now().addSecs(7200));
    view->model().openReminder();
    ReminderPopover* reminder = view->reminderPopover();
    ASSERT_TRUE(reminder);
    auto* heading = reminder->findChild<QLabel*>(QStringLiteral("reminderHeading"));
    ASSERT_TRUE(heading);
    EXPECT_EQ(heading->text(), "Remind me");
    EXPECT_EQ(reminder->calendar()->weekdayTextFormat(Qt::Sunday).foreground().color(), TarnwickTheme::textPrimary());
    auto* time = reminder->findChild<TimeField*>();
    ASSERT_TRUE(time);
    EXPECT_EQ(time->accessibleName(), "Time");
    ASSERT_TRUE(reminder->clearButton());
    EXPECT_TRUE(reminder->clearButton()->isFlat());
    QPushButton* set = nullptr;
    for (auto* b : reminder->findChildren<QPushButton*>())
        if (b->text() == "Set") set = b;
    ASSERT_TRUE(set);
    EXPECT_TRUE(set->isDefault());
    reminder->close();
}

// The wallpaper is brightened and blurred once per size step, brightness and blur, not per paint; a
// redacted note shows none.
TEST_F(NoteViewTest, WallpaperIsProcessedOncePerKey)
{
    note->setWallpaperID(QStringLiteral("stock.linen"));
    note->setWallpaperBlur(4.0);
    view->grab();
    view->grab();
    view->resize(370, 310);  // the same 64-point step
    view->grab();
    EXPECT_EQ(view->wallpaperRenders(), 1);
    view->resize(460, 310);
    view->grab();
    note->setWallpaperBrightness(0.2);
    view->grab();
    EXPECT_EQ(view->wallpaperRenders(), 3);
    note->setIsLocked(true);
    view->resize(600, 400);
    view->grab();
    EXPECT_EQ(view->wallpaperRenders(), 3);
}

// The design button sits rightmost and opens the note's palette; a redacted note has none, and the
// lock button takes its place.
TEST_F(NoteViewTest, DesignButtonOpensThePaletteUnlessRedacted)
{
    const double w = view->width();
    auto centreX = [this](const char* name) { return QRectF(button(name)->geometry()).center().x(); };
    EXPECT_EQ(centreX("paletteButton"), w - 20);
    EXPECT_EQ(centreX("lockButton"), w - 43);
    EXPECT_EQ(centreX("opacityButton"), w - 66);
    EXPECT_FALSE(button("paletteButton")->icon().isNull());
    button("paletteButton")->click();
    ASSERT_TRUE(view->palettePopover());
    EXPECT_EQ(view->palettePopover()->windowTitle(), "Note design");
    EXPECT_EQ(view->palettePopover()->width(), 270);

    note->setIsLocked(true);
    QCoreApplication::processEvents();
    EXPECT_FALSE(view->model().showingPalette()) << "locking hides the palette";
    EXPECT_FALSE(button("paletteButton")->isVisible());
    EXPECT_EQ(centreX("lockButton"), w - 20);
    view->model().setShowingPalette(true);
    EXPECT_FALSE(view->model().showingPalette());
}

// Every slash-menu item chosen with the keys, on the real block editor: the item acts once the menu
// has closed, and locking (which rebuilds the body under the text view that opened the menu) leaves
// a working view behind.
TEST_F(NoteViewTest, SlashMenuItemsChosenByKeysActAfterTheMenuCloses)
{
    QTemporaryDir dir;
    PreviewFiles previews(dir.filePath("previews"));
    NoteViewModel::Reminders reminders{[] { return true; }, [](const Note&) {}, [](const Note&) {}};
    struct Item {
        const char* name;
        int ups;  // from the bottom of the menu
        std::function<void(Note*)> check;
    };
    const std::vector<Item> items = {
        {"lock", 1, [](Note* n) { EXPECT_TRUE(n->isLocked()); }},
        {"remind", 2,
         [](Note* n) {
             QWidget* popup = QApplication::activePopupWidget();
             EXPECT_TRUE(popup);
             if (popup) popup->close();
             EXPECT_FALSE(n->isLocked());
         }},
        {"colour", 3, [](Note* n) { EXPECT_FALSE(n->isLocked()); }},
        {"numbered", 4, [](Note* n) { EXPECT_EQ(n->body(), "a\n1. "); }},
        {"bullet", 5, [](Note* n) { EXPECT_EQ(n->body(), QString::fromUtf8("a\n\u2022 ")); }},
        {"to-do", 6, [](Note* n) { EXPECT_EQ(n->body(), QString::fromUtf8("a\n\u2610 ")); }},
    };
    for (const Item& item : items) {
        Note* n = addNote("Plan", "a");
        store->saveNow();
        NoteView real(
            *store, *unlock, reminders, [] { return true; }, clock,
            [&](QWidget* parent) {
                return new BlockNoteBody(
                    {*store, previews, clock, NotificationCenter::shared(), SpellChecker::desktop()}, NoteView::gutter,
                    parent);
            },
            true);
        real.resize(360, 300);
        real.setNote(n);
        real.setActive(true);
        real.show();
        QCoreApplication::processEvents();
        auto texts = real.findChildren<RichNSTextView*>();
        ASSERT_FALSE(texts.isEmpty());
        RichNSTextView* text = texts.first();
        text->setFocus();
        QTest::qWait(50);  // the editor places its caret on a later turn
        QTest::keyClick(text, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(text, Qt::Key_Return);
        bool chosen = false;
        QTimer::singleShot(100, [&] {
            QWidget* menu = QApplication::activePopupWidget();
            if (!menu) return;
            for (int i = 0; i < item.ups; ++i) QTest::keyClick(menu, Qt::Key_Up);
            QTest::keyClick(menu, Qt::Key_Return);
            chosen = true;
        });
        QTest::keyClick(text, Qt::Key_Slash);  // the menu runs until the keys above choose
        ASSERT_TRUE(chosen) << item.name;
        for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
        QTest::qWait(120);  // the removed block's view goes on a later turn
        item.check(n);
        // The window still works: its view shows the note, and typing reaches an editor.
        if (!n->isLocked()) {
            QTest::keyClicks(QApplication::focusWidget(), "x");
            EXPECT_TRUE(n->body().endsWith("x")) << item.name << ": " << n->body().toStdString();
        }
    }
}

// A screen reader reaches the note's actions through the view's accessible interface.
TEST_F(NoteViewTest, AccessibleActions)
{
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(view.get());
    ASSERT_NE(accessible, nullptr);
    QAccessibleActionInterface* actions = accessible->actionInterface();
    ASSERT_NE(actions, nullptr);
    const QStringList names = actions->actionNames();
    ASSERT_GE(names.size(), 4);
    EXPECT_EQ(names.mid(0, 4), (QStringList{"Edit title", "Note design", "Window opacity", "Close note"}));

    actions->doAction("Window opacity");
    ASSERT_NE(view->opacityPopover(), nullptr);
    view->opacityPopover()->close();
    QCoreApplication::processEvents();
    actions->doAction("No such action");
    actions->doAction("Close note");
    ASSERT_EQ(seen.size(), 1);
    EXPECT_EQ(seen[0].name, tarnwickDismissNote);
    EXPECT_EQ(seen[0].object, id());

    note->setIsLocked(true);
    unlock->relock(note->uuid());
    EXPECT_EQ(actions->actionNames().mid(0, 2), (QStringList{"Edit title", "Close note"}));
    EXPECT_FALSE(actions->actionNames().contains("Window opacity"));
    actions->doAction("Window opacity");
    EXPECT_EQ(view->opacityPopover(), nullptr);
    actions->doAction("Edit title");
    EXPECT_TRUE(view->findChild<QLineEdit*>("lockedTitle")->hasFocus() || !view->isActiveWindow());
    EXPECT_EQ(seen.size(), 1);
    // A title a tool puts in over the accessibility bus (as dictation does) is the note's, as one typed.
    auto* lockedTitle = view->findChild<QLineEdit*>("lockedTitle");
    const QString before = lockedTitle->text();
    QAccessibleInterface* field = QAccessible::queryAccessibleInterface(lockedTitle);
    ASSERT_TRUE(field && field->editableTextInterface());
    field->editableTextInterface()->insertText(0, "Dictated ");
    EXPECT_EQ(lockedTitle->text(), "Dictated " + before);
    EXPECT_EQ(note->title(), "Dictated " + before);

    // A screen reader asks for the view's actions while the view is being destroyed (as the bridge does,
    // by the interface's id): first while its parts go, then while its children go. Nothing is listed or
    // done, and nothing crashes.
    const QAccessible::Id accessibleId = QAccessible::uniqueId(accessible);
    QList<QStringList> namesMeanwhile;
    auto askMeanwhile = [&] {
        QAccessibleInterface* late = QAccessible::accessibleInterface(accessibleId);
        QAccessibleActionInterface* lateActions = late ? late->actionInterface() : nullptr;
        namesMeanwhile << (lateActions ? lateActions->actionNames() : QStringList());
        if (!lateActions) return;
        lateActions->doAction("Close note");
        lateActions->doAction("Edit title");
        lateActions->doAction("Window opacity");
    };
    QObject::connect(&view->model(), &QObject::destroyed, askMeanwhile);
    QObject::connect(new QObject(view.get()), &QObject::destroyed, askMeanwhile);
    view.reset();
    EXPECT_EQ(namesMeanwhile, (QList<QStringList>{{}, {}}));
    EXPECT_EQ(seen.size(), 1);
}

// The store's sync state stands at the footer's trailing end, clear of the count and the grip and with
// the text ending above it, legible on the paper; it stays in an inactive window, goes with a rolled one,
// and follows the store, whose state its retry link sets.
TEST_F(NoteViewTest, SyncBadgeEndsTheFooter)
{
    auto* badge = view->findChild<SyncStatusView*>("syncBadge");
    ASSERT_NE(badge, nullptr);
    QWidget* count = view->findChild<QLabel*>("charCount");
    QWidget* grip = view->findChild<QWidget*>("resizeGrip");
    for (const auto& [size, text] :
         {std::pair{QSize(360, 300), QString("milk")}, {QSize(260, 180), QString(123456, 'x')}}) {
        note->setBody(text);
        view->resize(size);
        QCoreApplication::processEvents();
        SCOPED_TRACE(size.width());
        ASSERT_TRUE(badge->isVisible() && count->isVisible());
        const QRect at = badge->geometry();
        EXPECT_GT(at.right(), count->x() - 16) << "just before the count";
        EXPECT_GE(at.left(), NoteView::gutter);
        EXPECT_LE(at.bottom(), size.height() - 7) << "above the bottom edge";
        EXPECT_FALSE(at.intersects(count->geometry()) || at.intersects(grip->geometry()));
        EXPECT_LT(body->geometry().bottom(), at.top());
    }
    const QColor ink = badge->textLabel()->palette().color(QPalette::WindowText);
    EXPECT_GE(tarnwick::test::contrastRatio(ink, store->look(*note).theme.paper), 4.5);

    const QRect placed = badge->geometry();
    view->setActive(false);
    clock.advance(400);
    EXPECT_FALSE(count->isVisible());
    EXPECT_TRUE(badge->isVisible());
    EXPECT_EQ(badge->geometry(), placed);
    view->setRolled(true);
    EXPECT_FALSE(badge->isVisible());
    view->setRolled(false);
    EXPECT_TRUE(badge->isVisible());

    store->setSyncState(SyncState::error);
    ASSERT_TRUE(badge->retryButton()->isVisible());
    badge->retryButton()->click();
    EXPECT_EQ(store->syncState(), SyncState::syncing);
    EXPECT_TRUE(badge->isSpinning());
}

// A screen reader meets the badge as one piece of text named by it, and no bare count.
TEST_F(NoteViewTest, ReadersHearTheBadgeNotTheCount)
{
    QList<QAccessibleInterface*> all{QAccessible::queryAccessibleInterface(view.get())};
    for (qsizetype i = 0; i < all.size(); ++i) {
        for (int c = 0; c < all[i]->childCount(); ++c) {
            all << all[i]->child(c);
            EXPECT_EQ(all[i]->indexOfChild(all.last()), c);
        }
    }
    QStringList names;
    for (QAccessibleInterface* node : all) names << node->text(QAccessible::Name);
    EXPECT_FALSE(names.contains(view->model().countText()));
    const qsizetype at = names.indexOf("cloud sync \u00B7 coming soon");
    ASSERT_EQ(names.count("cloud sync \u00B7 coming soon"), 1);
    EXPECT_EQ(all[at]->role(), QAccessible::StaticText);
    EXPECT_EQ(all[at]->childCount(), 0);
}

// The menu's "Formatting shortcuts" row opens the sheet in a popover; Escape closes it.
TEST_F(NoteViewTest, ShortcutsSheetFromTheMenu)
{
    std::unique_ptr<QMenu> menu(view->buildContextMenu(QPoint(150, 120)));
    QAction* row = nullptr;
    for (QAction* a : menu->actions())
        if (a->text() == "Formatting shortcuts") row = a;
    ASSERT_NE(row, nullptr);
    row->trigger();
    QPointer<NotePopover> popover = view->shortcutsPopover();
    ASSERT_NE(popover, nullptr);
    EXPECT_TRUE(popover->isVisible());
    EXPECT_NE(popover->findChild<FormattingShortcutsSheet*>(), nullptr);
    // Under the point where the menu opened.
    EXPECT_GE(popover->geometry().top(), view->mapToGlobal(QPoint(150, 120)).y());
    QTest::keyClick(popover, Qt::Key_Escape);
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(popover.isNull() || !popover->isVisible());
}

// A picture's preview is transient for the note window it was opened from.
TEST_F(NoteViewTest, PreviewStandsOverItsNoteWindow)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("picture.png");
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(path));
    PreviewWindow* preview = PreviewWindow::show(path, view.get());
    ASSERT_NE(preview, nullptr);
    ASSERT_NE(preview->windowHandle(), nullptr);
    EXPECT_EQ(preview->windowHandle()->transientParent(), view->windowHandle());
    EXPECT_TRUE(preview->windowFlags() & Qt::WindowStaysOnTopHint);
    preview->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// With a long note the body's overlay scroll bar ends above the resize grip, which stays reachable.
TEST_F(NoteViewTest, ScrollBarStaysClearOfTheGrip)
{
    QTemporaryDir dir;
    PreviewFiles previews(dir.filePath("previews"));
    NoteViewModel::Reminders reminders{[] { return true; }, [](const Note&) {}, [](const Note&) {}};
    BlockNoteBody* blockBody = nullptr;
    NoteView real(
        *store, *unlock, reminders, [] { return true; }, clock,
        [&](QWidget* parent) {
            return blockBody = new BlockNoteBody(
                       {*store, previews, clock, NotificationCenter::shared(), SpellChecker::desktop()},
                       NoteView::gutter, parent);
        },
        true);
    Note* longNote = addNote("Long", QString("line\n").repeated(400));
    store->saveNow();
    real.resize(300, 260);
    real.setNote(longNote);
    real.setActive(true);
    real.show();
    QCoreApplication::processEvents();
    ASSERT_NE(blockBody, nullptr);
    OverlayScrollBar* bar = blockBody->scrollBar();
    ASSERT_NE(bar, nullptr);
    QWidget* grip = real.findChild<QWidget*>("resizeGrip");
    ASSERT_NE(grip, nullptr);
    for (QSize size : {QSize(300, 260), QSize(420, 600), QSize(220, 140)}) {
        real.resize(size);
        QCoreApplication::processEvents();
        const QRect barRect(bar->mapTo(&real, QPoint(0, 0)), bar->size());
        EXPECT_FALSE(barRect.intersects(grip->geometry())) << size.width() << "x" << size.height();
        EXPECT_GT(barRect.height(), 0);
    }
}

// Turning inactive: the state is at once, the drawing follows; another note or a closed window leaves
// no animation running.
TEST_F(NoteViewTest, ActivityAnimatesOnlyTheDrawing)
{
    view->setActive(false);
    EXPECT_FALSE(view->model().buttonsTakeClicks());
    EXPECT_FALSE(button("bold")->isVisible());
    EXPECT_TRUE(view->activeness().isRunning());
    clock.advance(90);
    const double midway = view->activeness().value();
    EXPECT_GT(midway, 0.0);
    EXPECT_LT(midway, 1.0);
    QWidget* grip = view->findChild<QWidget*>("resizeGrip");
    EXPECT_TRUE(grip->testAttribute(Qt::WA_TransparentForMouseEvents));

    // Back to active mid-way: from the drawn value, ending fully active with the format row.
    view->setActive(true);
    EXPECT_DOUBLE_EQ(view->activeness().value(), midway);
    clock.advance(400);
    EXPECT_DOUBLE_EQ(view->activeness().value(), 1.0);
    EXPECT_TRUE(button("bold")->isVisible());
    EXPECT_FALSE(grip->testAttribute(Qt::WA_TransparentForMouseEvents));

    // Another note mid-way starts from its own state.
    view->setActive(false);
    clock.advance(50);
    Note* other = addNote("Other", "text");
    view->setNote(other);
    EXPECT_FALSE(view->activeness().isRunning());
    EXPECT_DOUBLE_EQ(view->activeness().value(), 0.0);

    // A window closed mid-way: no frame runs against the view afterwards.
    view->setActive(true);
    view.reset();
    clock.advance(400);
}

// Rolling up: the content is gone from reach at once and fades over 0.2 s; unrolling mid-way comes
// back from what is drawn. The deck's key change turns the card over its own 0.15 s.
TEST_F(NoteViewTest, RollingAndKeyChangeAnimateOnlyTheDrawing)
{
    view->setRolled(true);
    EXPECT_FALSE(view->model().contentShown());
    EXPECT_TRUE(view->unrolling().isRunning());
    EXPECT_TRUE(body->isVisible());
    EXPECT_TRUE(body->testAttribute(Qt::WA_TransparentForMouseEvents));
    clock.advance(80);
    const double midway = view->unrolling().value();
    EXPECT_GT(midway, 0.0);
    EXPECT_LT(midway, 1.0);

    view->setRolled(false);
    EXPECT_TRUE(view->model().contentShown());
    EXPECT_FALSE(body->testAttribute(Qt::WA_TransparentForMouseEvents));
    EXPECT_DOUBLE_EQ(view->unrolling().value(), midway);
    view->setRolled(true);
    clock.advance(NoteView::kRolledMs + Tween::frameMs);
    EXPECT_DOUBLE_EQ(view->unrolling().value(), 0.0);
    EXPECT_FALSE(body->isVisible());

    // Another note arrives rolled as it is, with nothing running.
    view->setRolled(false);
    clock.advance(50);
    view->setRolled(true);
    view->setNote(addNote("Other", "text"));
    EXPECT_FALSE(view->unrolling().isRunning());
    EXPECT_DOUBLE_EQ(view->unrolling().value(), 0.0);
    view->setRolled(false);
    clock.advance(NoteView::kRolledMs + Tween::frameMs);
    EXPECT_TRUE(body->isVisible());

    static_cast<DeckCard*>(view.get())->changeActive(false, DeckRootView::keyChangeMs);
    clock.advance(DeckRootView::keyChangeMs + Tween::frameMs);
    EXPECT_FALSE(view->activeness().isRunning());
    EXPECT_DOUBLE_EQ(view->activeness().value(), 0.0);
    // The view's own change afterwards keeps its 0.18 s.
    view->setActive(true);
    clock.advance(DeckRootView::keyChangeMs + Tween::frameMs);
    EXPECT_TRUE(view->activeness().isRunning());
}

// What a paste into the body left out is said in the note's notice under the head row, every file
// counted and every reason given, and it stays its full time while the pictures go in.
TEST_F(NoteViewTest, TheBodysNoticesStandUnderTheHeadRow)
{
    QTemporaryDir dir;
    PreviewFiles previews(dir.filePath("previews"));
    NoteViewModel::Reminders reminders{[] { return true; }, [](const Note&) {}, [](const Note&) {}};
    NoteView real(
        *store, *unlock, reminders, [] { return true; }, clock,
        [&](QWidget* parent) {
            return new BlockNoteBody({*store, previews, clock, NotificationCenter::shared(), SpellChecker::desktop()},
                                     NoteView::gutter, parent);
        },
        true);
    real.resize(360, 300);
    real.setNote(note);
    real.setActive(true);
    real.show();
    QCoreApplication::processEvents();
    auto texts = real.findChildren<RichNSTextView*>();
    ASSERT_FALSE(texts.isEmpty());
    texts.first()->setFocus();

    QList<QUrl> urls;
    const QString big = dir.filePath("seventy.png");
    QFile huge(big);
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly) && huge.resize(70LL * 1024 * 1024));
    huge.close();
    urls << QUrl::fromLocalFile(big);
    QImage picture(3, 3, QImage::Format_RGB32);
    for (int i = 0; i < 55; ++i) {
        const QString path = dir.filePath(QStringLiteral("many-%1.png").arg(i));
        picture.fill(QColor(i, 0, 0));
        ASSERT_TRUE(picture.save(path));
        urls << QUrl::fromLocalFile(path);
    }
    auto* data = new QMimeData;
    data->setUrls(urls);
    QApplication::clipboard()->setMimeData(data);
    QTest::keyClick(texts.first(), Qt::Key_V, Qt::ControlModifier);
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();

    EXPECT_EQ(rows<NoteImage>().size(), 50);
    const QString notice = real.model().notice();
    EXPECT_TRUE(
        notice.startsWith("6 files were not added: seventy.png, many-50.png, many-51.png and 3 more. "
                          "seventy.png: it is larger than 64 MiB"))
        << notice.toStdString();
    EXPECT_TRUE(notice.contains("many-50.png: at most 50 pictures are added at once")) << notice.toStdString();
    auto* label = real.findChild<QLabel*>("notice");
    ASSERT_TRUE(label);
    EXPECT_TRUE(label->isVisible());
    EXPECT_EQ(label->text(), notice);
    EXPECT_GE(label->y(), NoteView::headHeight);
    clock.advance(2900);
    EXPECT_TRUE(label->isVisible());
    clock.advance(200);
    EXPECT_FALSE(label->isVisible());
}

// Rolled up, the title row shows the note's title where the body's first line stood (a daily note
// without a title, its day); unrolled, the body's own title line is back.
TEST_F(NoteViewTest, RolledUpTheTitleRowShowsTheTitle)
{
    auto* title = view->findChild<QLineEdit*>("rolledTitle");
    ASSERT_TRUE(title);
    EXPECT_FALSE(title->isVisible());
    view->setRolled(true);
    clock.advance(NoteView::kRolledMs + Tween::frameMs);
    EXPECT_TRUE(title->isVisible());
    EXPECT_EQ(title->text(), "Groceries");
    EXPECT_TRUE(title->isReadOnly());
    EXPECT_GE(title->y(), NoteView::headHeight);
    EXPECT_LE(title->geometry().bottom(), 82);  // inside the rolled window
    note->setTitle(" ");
    note->setDayKey("2026-12-07");
    QCoreApplication::processEvents();
    EXPECT_EQ(title->text(), Note::formattedDay("2026-12-07").value());
    view->setRolled(false);
    EXPECT_FALSE(title->isVisible());
}

namespace {

// A note view over the real block editor, shown active at the default note size.
struct EditorNoteView {
    EditorNoteView(NoteStore& store, UnlockSession& unlock, Clock& clock)
        : previews(dir.filePath("previews")),
          view(
              store, unlock, {[] { return true; }, [](const Note&) {}, [](const Note&) {}}, [] { return true; }, clock,
              [&](QWidget* parent) {
                  return new BlockNoteBody(
                      {store, previews, clock, NotificationCenter::shared(), SpellChecker::desktop()}, NoteView::gutter,
                      parent);
              },
              true)
    {
        view.resize(360, 280);
    }
    // Returns the text that has the keyboard once the note is open.
    RichNSTextView* open(Note* note)
    {
        view.setNote(note);
        view.setActive(true);
        view.show();
        QApplication::setActiveWindow(&view);
        QTest::qWait(50);  // the editor places its caret on a later turn
        return qobject_cast<RichNSTextView*>(QApplication::focusWidget());
    }
    // Unlocks with the password and types `keys` wherever the keyboard is then.
    bool unlockAndType(FakeAuthenticator& authenticator, const QString& keys)
    {
        auto* button = view.findChild<QToolButton*>("unlockButton");
        if (!button->isVisible()) return false;
        authenticator.autoOutcome = FakeAuthenticator::Outcome::success;
        button->click();
        QTest::qWait(100);
        auto* text = qobject_cast<RichNSTextView*>(QApplication::focusWidget());
        if (!text || !text->isVisible()) return false;
        QTest::keyClicks(text, keys);
        return true;
    }
    void lock()
    {
        view.findChild<QToolButton*>("lockButton")->click();
        QTest::qWait(50);
    }
    QTemporaryDir dir;
    PreviewFiles previews;
    NoteView view;
};

void press(Qt::Key key, Qt::KeyboardModifiers modifiers = {})
{
    QTest::keyClick(QApplication::focusWidget(), key, modifiers);
}

}  // namespace

// A screen reader names the text that has the keyboard: it is the note's body.
TEST_F(NoteViewTest, TheTextThatTakesTheKeyboardIsNamedTheNoteBody)
{
    EditorNoteView e(*store, *unlock, clock);
    auto* text = e.open(addNote("Plan", "alpha"));
    ASSERT_TRUE(text);
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(text);
    ASSERT_TRUE(accessible);
    EXPECT_EQ(accessible->text(QAccessible::Name), "Note body");
}

// Locked while the user types and unlocked again: the keys go on where the caret was, in the body.
TEST_F(NoteViewTest, UnlockingGivesTheCaretBackWhereItWas)
{
    Note* n = addNote("Plan", "alpha\nbeta");
    store->saveNow();
    EditorNoteView e(*store, *unlock, clock);
    e.view.resize(360, 300);
    auto* text = e.open(n);
    ASSERT_TRUE(text);
    QTest::keyClick(text, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(text, "!");
    EXPECT_EQ(n->body(), "alpha\nbeta!");

    for (int round = 0; round < 2; ++round) {
        e.lock();
        ASSERT_TRUE(n->isLocked());
        ASSERT_TRUE(e.unlockAndType(authenticator, "x")) << round;
    }
    EXPECT_EQ(n->body(), "alpha\nbeta!xx");
}

// Keys typed while the password window closes may already wait in the queue when the unlock completes:
// they reach the note's text, whether the note was locked while shown (the focus then rests on what
// held it while locked) or opened locked, as after a relaunch.
TEST_F(NoteViewTest, KeysWaitingWhenAnUnlockCompletesReachTheText)
{
    for (const bool openedLocked : {false, true}) {
        SCOPED_TRACE(openedLocked ? "opened locked" : "locked while shown");
        Note* n = addNote("Plan", "alpha\nbeta");
        store->saveNow();
        if (openedLocked) {
            ASSERT_TRUE(store->lock(*n).ok());
        }
        EditorNoteView e(*store, *unlock, clock);
        RichNSTextView* text = e.open(n);
        if (!openedLocked) {
            ASSERT_TRUE(text);
            QTest::keyClick(text, Qt::Key_End, Qt::ControlModifier);
        }
        for (int round = 0; round < 2; ++round) {
            if (!openedLocked || round > 0) e.lock();
            ASSERT_TRUE(n->isSealed()) << round;
            e.view.findChild<QToolButton*>("unlockButton")->click();
            ASSERT_EQ(authenticator.pendingCount(), 1);
            authenticator.complete(FakeAuthenticator::Outcome::success);
            // No turn of the event loop in between: where the window sends the waiting key.
            QWidget* receiver = e.view.window()->focusWidget();
            ASSERT_TRUE(receiver) << round;
            QTest::keyClicks(receiver, "k");
            QTest::qWait(50);
        }
        EXPECT_EQ(n->body(), "alpha\nbetakk");
        unlock->relock(n->uuid());
    }
}

// F6 takes the keyboard from the body to the head row and back; in the row Tab and the arrows go round
// its buttons, Return and Space press them; Escape, F6 or an unroll give the body the caret where it
// was. Tab in the body is still the body's.
TEST_F(NoteViewTest, F6AndUnrollingGiveTheCaretBack)
{
    Note* n = addNote("Plan", "alpha\nbeta");
    store->saveNow();
    EditorNoteView e(*store, *unlock, clock);
    auto* text = e.open(n);
    ASSERT_TRUE(text);
    QTest::keyClick(text, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(text, Qt::Key_Left);

    press(Qt::Key_F6);
    EXPECT_EQ(QApplication::focusWidget(), e.view.headButtons()[0]);
    QList<QString> walked;
    for (const auto key : {Qt::Key_Right, Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Tab})
        press(key), walked << QApplication::focusWidget()->objectName();
    EXPECT_EQ(walked,
              (QList<QString>{"rollUpDot", "zoomDot", "opacityButton", "lockButton", "paletteButton", "closeDot"}));
    press(Qt::Key_Left);
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), "lockButton");
    press(Qt::Key_Escape);
    ASSERT_EQ(QApplication::focusWidget(), text);
    QTest::keyClicks(text, "!");
    EXPECT_EQ(n->body(), "alpha\nbet!a");
    e.view.setRolled(true);
    clock.advance(NoteView::kRolledMs + Tween::frameMs);
    EXPECT_FALSE(text->hasFocus());
    e.view.setRolled(false);
    clock.advance(NoteView::kRolledMs + Tween::frameMs);
    QTest::qWait(20);
    ASSERT_EQ(QApplication::focusWidget(), text);
    QTest::keyClicks(text, "X");
    EXPECT_EQ(n->body(), "alpha\nbet!Xa");

    press(Qt::Key_F6);
    press(Qt::Key_Right);
    seen.clear();
    press(Qt::Key_Return);
    ASSERT_EQ(seen.size(), 1);
    EXPECT_EQ(seen[0].name, tarnwickToggleRollUp);
    press(Qt::Key_F6);
    ASSERT_EQ(QApplication::focusWidget(), text);
    press(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), text) << "Tab stays the body's";
}

// A rolled-up window has no body on screen: another note shown in it (the deck stepping on) does not
// hand the keyboard to that note's hidden text, so nothing typed there edits a note no one can see;
// unrolled, the keys reach the text again.
TEST_F(NoteViewTest, ARolledWindowsHiddenTextTakesNoKeys)
{
    Note* first = addNote("First", "body");
    Note* next = addNote("Next", "text");
    store->saveNow();
    EditorNoteView e(*store, *unlock, clock);
    ASSERT_TRUE(e.open(first));
    e.view.setRolled(true);
    clock.advance(NoteView::kRolledMs + Tween::frameMs);

    e.view.setNote(next);
    QTest::qWait(50);  // the editor places the new note's caret on a later turn
    QWidget* focus = QApplication::focusWidget();
    EXPECT_FALSE(focus && e.view.isAncestorOf(focus) && !focus->isVisible())
        << "the hidden " << focus->metaObject()->className() << " has the keyboard";
    QTest::keyClicks(focus ? focus : e.view.window(), "Head");
    EXPECT_EQ(next->title(), "Next");
    EXPECT_EQ(next->body(), "text");

    e.view.setRolled(false);
    clock.advance(NoteView::kRolledMs + Tween::frameMs);
    QTest::qWait(20);
    auto* text = qobject_cast<RichNSTextView*>(QApplication::focusWidget());
    ASSERT_TRUE(text && text->isVisible());
    QTest::keyClicks(text, "!");
    EXPECT_TRUE(next->title().contains('!') || next->body().contains('!'));
    EXPECT_EQ(first->title(), "First");
    EXPECT_EQ(first->body(), "body");
}

// After any unlock the keys go to the note's text: where the caret was when that is known, else at
// the end of the body (of the title when there is no body), also for a note opened locked and for
// one stepped away from and back to.
TEST_F(NoteViewTest, EveryUnlockGivesTheKeyboardToTheText)
{
    const auto openLockedAndType = [&](Note* n, const QString& keys) {
        EditorNoteView e(*store, *unlock, clock);
        e.open(n);
        return e.unlockAndType(authenticator, keys);
    };
    // Opened locked, as after a relaunch: the end of the body.
    Note* relaunched = addNote("Diary", "first\nsecond");
    ASSERT_TRUE(store->lock(*relaunched).ok());
    ASSERT_TRUE(openLockedAndType(relaunched, "Q"));
    EXPECT_EQ(relaunched->body(), "first\nsecondQ");

    // Only a title, and a title with an empty line: locked while typing there, the keys go on there.
    Note* solo = addNote("Solo", "");
    Note* pair = addNote("Pair", "");
    pair->setBlocks({NoteBlock::text(TextRuns{QString(), {}})});
    store->saveNow();
    for (Note* n : {solo, pair}) {
        EditorNoteView e(*store, *unlock, clock);
        auto* text = e.open(n);
        ASSERT_TRUE(text);
        QTest::keyClick(text, Qt::Key_End, Qt::ControlModifier);  // the empty line below the title
        if (n == solo) {
            QTest::keyClick(text, Qt::Key_Home, Qt::ControlModifier);
            QTest::keyClick(text, Qt::Key_End);
        }
        e.lock();
        ASSERT_TRUE(n->isSealed());
        ASSERT_TRUE(e.unlockAndType(authenticator, "Q")) << n->title().toStdString();
        EXPECT_FALSE(n->isSealed());
        EXPECT_EQ(n->title() + "|" + n->body(), n == solo ? "SoloQ|" : "Pair|Q");
        ASSERT_TRUE(store->reseal(*n).ok());
    }
    // Opened locked with only a title: the end of the title.
    unlock->relock(solo->uuid());
    ASSERT_TRUE(openLockedAndType(solo, "!"));
    EXPECT_EQ(solo->title(), "SoloQ!");

    // Locked, away to another note and back, unlocked: the caret where it was.
    Note* away = addNote("Away", "elsewhere");
    Note* back = addNote("Back", "one two");
    EditorNoteView e(*store, *unlock, clock);
    auto* text = e.open(back);
    ASSERT_TRUE(text);
    for (int i = 0; i < 3; ++i) QTest::keyClick(text, Qt::Key_Right);
    e.lock();
    e.view.setNote(away);
    QTest::qWait(50);
    e.view.setNote(back);
    QTest::qWait(50);
    ASSERT_TRUE(e.unlockAndType(authenticator, "-"));
    EXPECT_EQ(back->body(), "one- two");
}

// While saves fail the notice is a strip under the head row and the note's text stands below it, the
// line being typed in sight.
TEST_F(NoteViewTest, TheSaveFailureNoticeLeavesTheTextInSight)
{
    Note* n = addNote("Shopping", QString("line\n").repeated(12) + "eggs");
    EditorNoteView e(*store, *unlock, clock);
    auto* text = e.open(n);
    ASSERT_TRUE(text);
    QTest::keyClick(text, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(text, " and ham");
    QCoreApplication::processEvents();
    Q_EMIT context().saveFinished(QStringLiteral("database or disk is full"));
    auto* label = e.view.findChild<QLabel*>("notice");
    ASSERT_TRUE(label && label->isVisible());
    EXPECT_EQ(label->text(), "Notes aren\u2019t being saved: database or disk is full. Tarnwick keeps trying.");
    const QRect notice = label->geometry(), body = e.view.body()->geometry();
    EXPECT_GE(notice.top(), NoteView::headHeight);
    EXPECT_LE(notice.height(), 80);
    EXPECT_GT(body.top(), notice.bottom());
    // The body scrolled to keep the caret inside it.
    const QRect caret = QRect(text->mapTo(&e.view, text->cursorRect().topLeft()), text->cursorRect().size());
    EXPECT_TRUE(body.contains(caret)) << caret.y() << " body " << body.y() << "-" << body.bottom();
    EXPECT_TRUE(n->body().endsWith("eggs and ham"));
}

// The lock panel's lines and the Unlock label read at 4.5:1 on every built-in paper, measured against
// what is painted behind them: the paper under the lines, the button's own wash under its label. (The
// tertiary grey of the plain surface fell under 2:1 on the blue paper; the accent ink on the wash
// under 3.2:1 on the violet one.)
TEST_F(NoteViewTest, LockPanelLinesReadOnEveryPaper)
{
    for (const ResolvedNoteTheme& theme : NoteTheme::builtIns()) {
        SCOPED_TRACE(theme.id.toStdString());
        store->setTheme(theme.id, *note);
        note->setIsLocked(true);
        ASSERT_EQ(store->look(*note).theme.paper, theme.paper);
        NoteView locked(
            *store, *unlock, {[] { return true; }, [](const Note&) {}, [](const Note&) {}}, [] { return true; }, clock,
            [](QWidget* parent) { return new FakeBody(parent); }, true);
        locked.setNote(note);
        locked.resize(360, 300);
        locked.show();
        QCoreApplication::processEvents();
        const QImage painted = locked.grab().toImage();
        // The ground of a widget: what is painted at a point of it where no text is.
        const auto groundAt = [&](const QWidget* widget, QPoint point) {
            return painted.pixelColor(widget->mapTo(&locked, point) * painted.devicePixelRatio());
        };
        int checked = 0;
        for (QLabel* label : locked.findChild<QWidget*>("lockPanel")->findChildren<QLabel*>()) {
            if (label->text().isEmpty() || label->objectName() == "lockFailure") continue;
            const QString sheet = label->styleSheet();
            const QColor ink(sheet.mid(sheet.indexOf('#')).left(9));
            ASSERT_TRUE(ink.isValid()) << sheet.toStdString();
            const QColor ground = groundAt(label, QPoint(label->width() - 2, label->height() / 2));
            EXPECT_LE(tarnwick::test::channelDistance(ground, theme.paper), 1) << "the paper is the ground";
            EXPECT_GE(tarnwick::test::contrastRatio(ink, ground), 4.5) << label->text().toStdString();
            ++checked;
        }
        EXPECT_EQ(checked, 2);
        auto* button = locked.findChild<QToolButton*>("unlockButton");
        const QColor label = button->palette().color(QPalette::ButtonText);
        // Inside the border, in the padding left of the key symbol.
        const QColor wash = groundAt(button, QPoint(4, button->height() / 2));
        EXPECT_GT(tarnwick::test::channelDistance(wash, theme.paper), 4) << "the button's own fill is the ground";
        EXPECT_GE(tarnwick::test::contrastRatio(label, wash), 4.5) << label.name().toStdString();
    }
}
