#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include "app/AppServices.h"
#include "design/HexColor.h"
#include "design/Symbols.h"
#include "model/NoteTheme.h"
#include "settings/NoteSettingsTab.h"
#include "settings/PreferenceTabsController.h"
#include "settings/SettingsWindowController.h"
#include "support/NoteStoreFixture.h"
#include "themes/ColorField.h"
#include "themes/ThemeEditorView.h"
#include "themes/ThemeWindowController.h"

namespace {

struct ThemeWindowTest : tarnwick::test::NoteStoreTestBase {
    ThemeWindowTest() : controller(*store, settings) {}
    QString sqlOf(const QString& column, const QString& id)
    {
        return sql(QStringLiteral("SELECT %1 FROM NoteTheme WHERE id = '%2'").arg(column, id));
    }
    void addTheme(const QString& id, const QString& name, std::optional<QString> family = std::nullopt)
    {
        context().insert(std::make_unique<NoteTheme>(id, name, Qt::white, family, std::nullopt, 1.0, 0));
        store->saveNow();
    }
    ThemeWindowController controller;
};

}  // namespace

TEST_F(ThemeWindowTest, OneWindowIsReusedWithAFreshFormAndKeepsItsPlace)
{
    addTheme("A", "Harbour");
    addTheme("B", "Meadow");
    controller.show("A", nullptr);
    QWidget* window = controller.window();
    ASSERT_TRUE(window && window->isVisible());
    EXPECT_EQ(window->windowTitle(), "Theme");
    EXPECT_TRUE(window->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(window->width(), 704);
    EXPECT_GE(window->height(), 460);
    EXPECT_EQ(controller.editorView()->nameField()->text(), "Harbour");
    {
        // At the first scroll position the whole form shows, down to the note under the type rows: the
        // window is as tall as the form where the screen has room.
        auto* scroll = controller.editorView()->findChild<QScrollArea*>();
        ASSERT_TRUE(scroll);
        QLabel* note = nullptr;
        for (QLabel* label : scroll->widget()->findChildren<QLabel*>())
            if (label->text().startsWith("Size is not part of a theme")) note = label;
        ASSERT_TRUE(note);
        const QRect shown = QRect(note->mapTo(scroll->viewport(), QPoint(0, 0)), note->size());
        EXPECT_TRUE(scroll->viewport()->rect().contains(shown))
            << "the note ends at " << shown.bottom() << " of " << scroll->viewport()->height();
        EXPECT_EQ(scroll->verticalScrollBar()->maximum(), 0);
        // A screen too short for it keeps the least height, and the form scrolls.
        ThemeEditorView short_(ThemeEditor::creatingFrom(*store, NoteTheme::builtIn(Tint::green), nullptr, [] {}));
        short_.setHeightWithin(300);
        EXPECT_EQ(short_.height(), 460);
        short_.setHeightWithin(2000);
        EXPECT_EQ(short_.height(), short_.fittingHeight());
    }

    // Unsaved changes of the first form go with it.
    QTest::keyClicks(controller.editorView()->nameField(), " and more");
    controller.show("B", nullptr);
    EXPECT_EQ(controller.window(), window);
    EXPECT_EQ(controller.editorView()->nameField()->text(), "Meadow");
    EXPECT_EQ(sqlOf("name", "A"), "Harbour");

    window->setGeometry(QRect(window->geometry().topLeft() + QPoint(40, 30), window->size()));
    const QPoint place = window->geometry().topLeft();
    controller.editorView()->save();
    EXPECT_FALSE(window->isVisible()) << "Save hides the window";
    EXPECT_EQ(sqlOf("revision", "B"), "1");
    controller.showNew(NoteTheme::builtIn(Tint::green), nullptr);
    EXPECT_EQ(controller.window(), window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->geometry().topLeft(), place);
    EXPECT_TRUE(controller.editorView()->nameField()->text().isEmpty());
    EXPECT_FALSE(controller.editorView()->deleteButton()) << "nothing to delete in a new theme";
}

// Opened from the settings, the theme window gives the keyboard back to them however it goes: Save,
// Delete Theme, or the window manager's close (the window manager would pick another application's
// window, as it passes over ours).
TEST_F(ThemeWindowTest, ItGivesTheKeyboardBackToTheWindowItWasOpenedFromHoweverItGoes)
{
    addTheme("A", "Harbour");
    addTheme("B", "Meadow");
    // Another window shown later than the settings, where a fallback to the newest window would go.
    QWidget settingsWindow, elsewhere;
    auto* newTheme = new QPushButton("New Theme…", &settingsWindow);
    newTheme->setFocusPolicy(Qt::StrongFocus);
    settingsWindow.show();
    elsewhere.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&elsewhere));
    settingsWindow.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&settingsWindow));
    newTheme->setFocus();
    const QList<std::pair<const char*, std::function<void()>>> ways{
        {"Save",
         [&] {
             controller.showNew(NoteTheme::builtIn(Tint::green), nullptr);
             EXPECT_TRUE(QTest::qWaitForWindowActive(controller.window()));
             controller.editorView()->save();
         }},
        {"the close",
         [&] {
             controller.show("A", nullptr);
             EXPECT_TRUE(QTest::qWaitForWindowActive(controller.window()));
             controller.window()->close();
         }},
        {"Delete Theme",
         [&] {
             controller.show("B", nullptr);
             EXPECT_TRUE(QTest::qWaitForWindowActive(controller.window()));
             controller.editorView()->deleteButton()->click();
         }},
    };
    for (const auto& [name, way] : ways) {
        way();
        EXPECT_FALSE(controller.window()->isVisible()) << name;
        EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &settingsWindow; })) << name;
        EXPECT_TRUE(newTheme->hasFocus()) << name;
    }
    EXPECT_EQ(sql("SELECT COUNT(*) FROM NoteTheme WHERE id = 'B'"), "0");
}

TEST_F(ThemeWindowTest, ReturnSavesAndAFailedSaveKeepsTheFormOpen)
{
    addTheme("A", "Harbour");
    controller.show("A", nullptr);
    ThemeEditorView* view = controller.editorView();
    view->nameField()->setText("Harbour & <b>co</b>");
    ASSERT_TRUE(ModelContainerTesting::exec(
        *container, "CREATE TRIGGER no BEFORE UPDATE ON NoteTheme BEGIN SELECT RAISE(ABORT, 'full'); END"));
    QTest::keyClick(view->nameField(), Qt::Key_Return);
    EXPECT_TRUE(controller.window()->isVisible());
    EXPECT_FALSE(view->failureLine()->isHidden());
    EXPECT_EQ(view->failureLine()->text(), "Tarnwick couldn't write to your notes file.");
    EXPECT_EQ(view->nameField()->text(), "Harbour & <b>co</b>") << "the form is kept";

    ASSERT_TRUE(ModelContainerTesting::exec(*container, "DROP TRIGGER no"));
    QTest::keyClick(view->nameField(), Qt::Key_Return);
    EXPECT_FALSE(controller.window()->isVisible());
    EXPECT_EQ(sqlOf("name", "A"), "Harbour & <b>co</b>");
}

TEST_F(ThemeWindowTest, FillingTheMenusWritesNothingAndUnknownFamiliesStay)
{
    addTheme("A", "Harbour", QStringLiteral("Nowhere Sans"));
    controller.show("A", nullptr);
    ThemeEditorView* view = controller.editorView();
    EXPECT_EQ(view->familyBox()->currentText(), "Nowhere Sans");
    EXPECT_EQ(view->lineHeightBox()->currentText(), "Normal");
    EXPECT_EQ(view->editor().family, "Nowhere Sans");
    view->lineHeightBox()->setCurrentIndex(4);
    EXPECT_DOUBLE_EQ(view->editor().lineHeight, 1.45) << "a programmatic change is not the user's choice";
    view->save();
    EXPECT_EQ(sqlOf("fontFamily", "A"), "Nowhere Sans");
    EXPECT_EQ(sqlOf("lineHeight", "A").toDouble(), 1.45);
}

// A screen reader meets a menu's choices only while its popup is open, not in the form around it.
TEST_F(ThemeWindowTest, AMenusChoicesReadAsOnScreenOnlyWhileItIsOpen)
{
    addTheme("A", "Harbour");
    controller.show("A", nullptr);
    ThemeEditorView* view = controller.editorView();
    for (QComboBox* menu : {view->familyBox(), view->lineHeightBox()}) {
        SCOPED_TRACE(menu->accessibleName().toStdString());
        QAccessibleInterface* combo = QAccessible::queryAccessibleInterface(menu);
        ASSERT_GE(combo->childCount(), 1);
        QAccessibleInterface* choices = combo->child(0);
        ASSERT_GE(choices->childCount(), 2);
        EXPECT_TRUE(choices->state().invisible);
        EXPECT_TRUE(choices->child(1)->state().invisible);
        menu->showPopup();
        ASSERT_TRUE(QTest::qWaitFor([&] { return menu->view()->isVisible(); }));
        EXPECT_FALSE(choices->state().invisible);
        menu->hidePopup();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !menu->view()->isVisible(); }));
        EXPECT_TRUE(choices->state().invisible);
    }
}

// An open menu owns Return, Enter and Escape: the entry is picked or the menu closed, and the window's
// Save (Return) does not run from inside it. With no menu open, Return still saves.
TEST_F(ThemeWindowTest, KeysInAnOpenMenuStayInTheMenu)
{
    addTheme("A", "Harbour");
    controller.show("A", nullptr);
    ThemeEditorView* view = controller.editorView();
    view->nameField()->setText("Renamed");
    const auto open = [](QComboBox* menu) {
        menu->setFocus();
        menu->showPopup();
        return QTest::qWaitFor([&] { return menu->view()->isVisible(); });
    };
    const auto closed = [](QComboBox* menu) { return QTest::qWaitFor([&] { return !menu->view()->isVisible(); }); };
    // What the toolkit asks the focused widget before it looks for a shortcut; accepted, it runs none.
    const auto takenByTheMenu = [](QComboBox* menu, Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
        QKeyEvent ask(QEvent::ShortcutOverride, key, modifiers);
        ask.ignore();
        QApplication::sendEvent(menu->view(), &ask);
        return ask.isAccepted();
    };
    QComboBox* lines = view->lineHeightBox();
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        SCOPED_TRACE(key == Qt::Key_Return ? "Return" : "Enter");
        ASSERT_TRUE(open(lines));
        const int next = (lines->currentIndex() + 1) % lines->count();
        QTest::keyClick(lines->view(), Qt::Key_Down);
        EXPECT_TRUE(takenByTheMenu(lines, key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier));
        ASSERT_TRUE(closed(lines));
        EXPECT_EQ(lines->currentIndex(), next) << "the entry is picked";
        EXPECT_DOUBLE_EQ(view->editor().lineHeight, lines->currentData().toDouble());
        EXPECT_TRUE(controller.window()->isVisible()) << "the window stays";
    }
    QComboBox* family = view->familyBox();
    ASSERT_TRUE(open(family));
    EXPECT_TRUE(takenByTheMenu(family, Qt::Key_Escape));
    EXPECT_TRUE(family->view()->isVisible()) << "the menu closes on the key press, not before";
    QTest::keyClick(family->view(), Qt::Key_Escape);
    ASSERT_TRUE(closed(family));
    EXPECT_TRUE(controller.window()->isVisible());
    EXPECT_EQ(sqlOf("name", "A"), "Harbour") << "nothing is written before Save";

    // (This test platform hands no activation back after a popup: the window is made active again.)
    controller.window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(controller.window()));
    lines->setFocus();
    EXPECT_FALSE(takenByTheMenu(lines, Qt::Key_Return)) << "a closed menu takes no key";
    QTest::keyClick(lines, Qt::Key_Return);
    EXPECT_FALSE(controller.window()->isVisible()) << "Return with no menu open saves";
    EXPECT_EQ(sqlOf("name", "A"), "Renamed");
}

TEST_F(ThemeWindowTest, ThePickerOpensOnItsFieldAndWritesOnlyWhatTheUserDoes)
{
    controller.show("blue", nullptr);
    ThemeEditorView* view = controller.editorView();
    ColorField* paper = view->paperField();
    const QColor before = view->editor().paper;
    paper->swatchButton()->click();
    paper->swatchButton()->click();
    ColorPickerPopover* picker = paper->picker();
    ASSERT_TRUE(picker);
    EXPECT_TRUE(picker->isVisible());
    EXPECT_EQ(picker->windowTitle(), "Paper");
    EXPECT_EQ(picker->width(), 238);
    {
        // The hex field and the slider stand as one column centred beside the wheel.
        auto middleY = [picker](QWidget* w) { return w->mapTo(picker, QPoint(0, 0)).y() + w->height() / 2.0; };
        const double columnTop = picker->hexField()->mapTo(picker, QPoint(0, 0)).y();
        const double columnBottom = picker->slider()->mapTo(picker, QPoint(0, picker->slider()->height())).y();
        EXPECT_NEAR((columnTop + columnBottom) / 2, middleY(picker->wheel()), 1.0);
    }
    EXPECT_EQ(picker->hexField()->text(), hexString(before));
    EXPECT_EQ(picker->hexField()->selectedText(), hexString(before));
    EXPECT_EQ(view->editor().paper, before) << "looking writes nothing";

    QTest::keyClicks(picker->hexField(), "2b5c93");
    EXPECT_EQ(hexString(view->editor().paper), "2B5C93");
    picker->swatchButtons()[7]->click();
    EXPECT_EQ(hexString(view->editor().paper), hexString(ThemeEditor::paperSwatches()[7]));
    EXPECT_EQ(picker->hexField()->text(), hexString(ThemeEditor::paperSwatches()[7]));

    QTest::keyClick(picker->hexField(), Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(paper->picker()) << "Escape closes the picker";
    EXPECT_TRUE(controller.window()->isVisible()) << "and only the picker";
}

// The picker owns Return and Escape: Return in its hex field applies the code and Escape closes the
// picker alone; neither saves the theme behind it. Return in the form then saves what the picker set.
TEST_F(ThemeWindowTest, ReturnInThePickerAppliesTheCodeAndSavesNothing)
{
    controller.showNew(NoteTheme::builtIn(Tint::green), nullptr);
    ThemeEditorView* view = controller.editorView();
    ColorField* paper = view->paperField();
    paper->swatchButton()->click();
    ColorPickerPopover* picker = paper->picker();
    ASSERT_TRUE(picker && picker->hexField()->hasFocus());
    QTest::keyClick(picker->hexField(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(picker->hexField(), "abc");
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        QTest::keyClick(picker->hexField(), key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        EXPECT_TRUE(controller.window()->isVisible()) << "Return in the picker saved the theme";
        ASSERT_TRUE(paper->picker()) << "Return closed the picker";
        EXPECT_TRUE(picker->isVisible());
    }
    EXPECT_EQ(hexString(view->editor().paper), "AABBCC");
    EXPECT_EQ(sql("SELECT COUNT(*) FROM NoteTheme"), "0") << "nothing is stored before Save";

    QTest::keyClick(picker->hexField(), Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(paper->picker());
    ASSERT_TRUE(controller.window()->isVisible());
    controller.window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(controller.window()));
    view->nameField()->setFocus();
    QTest::keyClick(view->nameField(), Qt::Key_Return);
    EXPECT_FALSE(controller.window()->isVisible());
    EXPECT_EQ(sql("SELECT printf('%02X%02X%02X', round(paperR*255), round(paperG*255), round(paperB*255)) "
                  "FROM NoteTheme WHERE name = 'My theme'"),
              "AABBCC");
}

TEST_F(ThemeWindowTest, HidesWhileTheApplicationIsInTheBackgroundOnlyIfItWasShown)
{
    controller.show("blue", nullptr);
    QWidget* window = controller.window();
    const QPoint place = window->geometry().topLeft();
    Q_EMIT qGuiApp->applicationStateChanged(Qt::ApplicationInactive);
    EXPECT_FALSE(window->isVisible());
    Q_EMIT qGuiApp->applicationStateChanged(Qt::ApplicationActive);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->geometry().topLeft(), place);

    // Finished or closed, it stays away.
    controller.editorView()->save();
    Q_EMIT qGuiApp->applicationStateChanged(Qt::ApplicationInactive);
    Q_EMIT qGuiApp->applicationStateChanged(Qt::ApplicationActive);
    EXPECT_FALSE(window->isVisible());
}

TEST(ThemeSymbols, EverySymbolTheThemeViewsDrawResolves)
{
    for (const char* name : {"paintpalette", "chevron.down", "chevron.right", "checklist", "square", "checkmark.square",
                             "circle.lefthalf.filled", "lock", "bold", "italic", "underline", "strikethrough",
                             "list.bullet", "list.number", "plus"})
        EXPECT_FALSE(Symbols::icon(QString::fromLatin1(name)).isNull()) << name;
}

TEST(ThemeWindowWiring, TheNoteTabsNewThemeOpensTheEditorOnANewTheme)
{
    auto container = std::move(ModelContainer::openInMemory(TarnwickSchemaV2::schema())).value();
    AppServices services(*container);
    services.settingsWindow().show();
    auto* tab = qobject_cast<NoteSettingsTab*>(services.settingsWindow().tabs()->page(AppSettingsTab::note));
    ASSERT_TRUE(tab);
    ASSERT_TRUE(tab->newThemeButton()->isEnabled());
    tab->newThemeButton()->click();
    ThemeWindowController& themes = services.themeWindow();
    ASSERT_TRUE(themes.window() && themes.window()->isVisible());
    EXPECT_FALSE(themes.editorView()->editor().themeID());
    EXPECT_TRUE(themes.editorView()->nameField()->text().isEmpty());
    themes.window()->hide();
}
