#include <gtest/gtest.h>

#include <algorithm>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/PermissionPanel.h"
#include "app/StorageWarning.h"
#include "platform/Clock.h"
#include "store/PersistenceController.h"

namespace {

// Runs `act` once the modal loop is up.
void whenShown(std::function<void()> act)
{
    QTimer::singleShot(0, qApp, std::move(act));
}

QStringList buttonTexts(QWidget* window)
{
    QStringList texts;
    for (const QPushButton* button : window->findChildren<QPushButton*>()) texts << button->text();
    return texts;
}

TEST(PermissionPresenter, ReturnOpensEscapeDismissesAndAnOpenPanelIsNotStackedOnto)
{
    auto withSettings = [](PermissionPresenter::Closure open, PermissionPresenter::Closure dismiss) {
        return PermissionPanel::notifications(true, std::move(open), std::move(dismiss));
    };
    QStringList seen;
    whenShown([&] {
        PermissionPanelView* panel = PermissionPresenter::current();
        seen = buttonTexts(panel);
        for (const QLabel* label : panel->findChildren<QLabel*>()) seen << label->text();
        QTest::keyClick(panel, Qt::Key_Return);
    });
    EXPECT_TRUE(PermissionPresenter::run(withSettings));
    EXPECT_TRUE(seen.contains("Open Settings") && seen.contains("Not now"));
    EXPECT_TRUE(seen.contains("A locked note's words are never in the notification"));
    EXPECT_EQ(PermissionPresenter::current(), nullptr);

    bool nested = true;
    whenShown([&] {
        nested = PermissionPresenter::run(withSettings);  // raised, not stacked
        QTest::keyClick(PermissionPresenter::current(), Qt::Key_Escape);
    });
    EXPECT_FALSE(PermissionPresenter::run(withSettings));
    EXPECT_FALSE(nested);

    // Nothing to open: one "OK", and neither key counts as going on.
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        whenShown([&] {
            seen = buttonTexts(PermissionPresenter::current());
            QTest::keyClick(PermissionPresenter::current(), key);
        });
        EXPECT_FALSE(PermissionPresenter::run([](auto open, auto dismiss) {
            return PermissionPanel::accessibility("Alt+Shift+Space", std::move(open), std::move(dismiss));
        }));
        EXPECT_EQ(seen, QStringList{"OK"});
    }
}

// However the panel goes (its button, Escape, or closed by its window, which counts as "Not now"), the
// window that had the keyboard gets it back, in the field that had it.
TEST(PermissionPresenter, ThePanelGivesTheKeyboardBackHoweverItGoes)
{
    // Another window shown later than the note, where a fallback to the newest window would go.
    QWidget note, elsewhere;
    new QLineEdit(&note);
    auto* body = new QLineEdit(&note);
    note.show();
    elsewhere.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&elsewhere));
    note.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&note));
    body->setFocus();
    const QList<std::function<void(PermissionPanelView*)>> ways{
        [](PermissionPanelView* panel) { panel->close(); },
        [](PermissionPanelView* panel) { QTest::keyClick(panel, Qt::Key_Escape); },
        [](PermissionPanelView* panel) { QTest::keyClick(panel, Qt::Key_Return); },
    };
    for (int way = 0; way < ways.size(); ++way) {
        bool dismissed = false;
        whenShown([&] {
            PermissionPanelView* panel = PermissionPresenter::current();
            if (panel && QTest::qWaitForWindowActive(panel)) ways[way](panel);
        });
        const bool opened = PermissionPresenter::run([&](auto open, auto dismiss) {
            PermissionPanel panel = PermissionPanel::notifications(true, std::move(open), std::move(dismiss));
            panel.onDismiss = [&dismissed] { dismissed = true; };
            return panel;
        });
        EXPECT_EQ(opened, way == 2) << "way " << way;
        EXPECT_EQ(dismissed, way != 2) << "way " << way;
        EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &note; })) << "way " << way;
        EXPECT_TRUE(body->hasFocus()) << "way " << way;
    }
}

constexpr auto present = StorageWarning::Folder::present;

TEST(StorageWarning, TextsNameTheStoreAndCutTheFailureWhole)
{
    const StorageWarning::Texts texts =
        StorageWarning::texts("file is not a database", "/home/ann/.local/share/tarnwick", "/home/ann", present);
    EXPECT_EQ(texts.title, "Tarnwick");
    EXPECT_EQ(texts.message, "Tarnwick can\u2019t open your notes");
    const QStringList paragraphs = texts.informative.split("\n\n");
    ASSERT_EQ(paragraphs.size(), 3);
    EXPECT_TRUE(paragraphs[1].endsWith("your notes are still on disk in ~/.local/share/tarnwick."));
    EXPECT_EQ(paragraphs[2], "(file is not a database)");
    EXPECT_TRUE(
        StorageWarning::texts("x", "/data/tarnwick", "/home/ann", present).informative.contains(" in /data/tarnwick."));
    EXPECT_TRUE(
        StorageWarning::texts("x", "/home/anna/t", "/home/ann", present).informative.contains(" in /home/anna/t."));

    const QString emoji = QString::fromUtf8("\xF0\x9F\x93\x9D");  // two UTF-16 units
    EXPECT_EQ(StorageWarning::cut(QString(250, u'a')), QString(200, u'a'));
    EXPECT_EQ(StorageWarning::cut(QString(198, u'a') + emoji), QString(198, u'a') + emoji);
    EXPECT_EQ(StorageWarning::cut(QString(199, u'a') + emoji + "tail"), QString(199, u'a'));
    EXPECT_EQ(StorageWarning::cut(QString(198, u'a') + emoji + "tail"), QString(198, u'a') + emoji);
}

// Over a junk store the third paragraph is the failure in words; a deep folder is shortened in its
// middle; the heading is semibold and the folder never breaks at a "/".
TEST(StorageWarning, AJunkStoreIsNamedInWords)
{
    QTemporaryDir dir;
    QFile junk(dir.filePath("default.store"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(8192, 'j'));
    junk.close();
    const PersistenceController::Opened opened = PersistenceController::open(dir.path(), std::nullopt, Clock::system());
    ASSERT_TRUE(opened.failureMessage);
    const StorageWarning::Texts texts = StorageWarning::texts(*opened.failureMessage, dir.path(), "/nowhere", present);
    EXPECT_EQ(texts.informative.split("\n\n").value(2), "(file is not a database)");

    const QString deep = "/home/ann/" + QString("nested/").repeated(20) + "tarnwick";
    const QString folder = StorageWarning::texts("x", deep, "/home/ann", present).folder;
    EXPECT_LE(folder.size(), StorageWarning::kMaxFolderLength);
    EXPECT_TRUE(folder.startsWith("~/nested/") && folder.endsWith("/tarnwick") && folder.contains(u'\u2026'));

    whenShown([] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(window);
            if (!box || !box->isVisible()) continue;
            EXPECT_GE(box->findChild<QLabel*>("qt_msgbox_label")->font().weight(), QFont::DemiBold);
            const QString shown = box->findChild<QLabel*>("qt_msgbox_informativelabel")->text();
            EXPECT_TRUE(shown.contains(QStringLiteral("/\u2060"))) << "a slash of the folder never ends a line";
            EXPECT_TRUE(shown.endsWith("(file is not a database)"));
            QTest::keyClick(box, Qt::Key_Escape);
        }
    });
    StorageWarning::run("file is not a database");
}

// Notes are said to be on disk in the folder only when the notes file is there; a folder or a file that
// could not be made is named as such.
TEST(StorageWarning, NotesAreOnDiskOnlyWhenTheNotesFileIsThere)
{
    const QString made =
        "Your notes file has not been changed or deleted. Quitting and opening Tarnwick again is "
        "usually enough; if it keeps happening, your notes are still on disk in ~/data/tarnwick.";
    const QString unmade =
        "Tarnwick could not make the folder for your notes, ~/data/tarnwick, so no notes file is "
        "kept there. Once that folder can be made, quitting and opening Tarnwick again is enough.";
    const QString none =
        "Tarnwick could not make the folder for your notes, so no notes file is kept. Once that "
        "folder can be made, quitting and opening Tarnwick again is enough.";
    const QString noFile =
        "Tarnwick could not make its notes file in the folder for your notes, ~/data/tarnwick, so no notes "
        "file is kept there. Once that file can be made, quitting and opening Tarnwick again is enough.";
    const struct {
        QString directory;
        StorageWarning::Folder state;
        QString second;
    } cases[] = {{"/home/ann/data/tarnwick", present, made},
                 {"/home/ann/data/tarnwick", StorageWarning::Folder::noNotesFile, noFile},
                 {"/home/ann/data/tarnwick", StorageWarning::Folder::missing, unmade},
                 {"", StorageWarning::Folder::missing, none}};
    for (const auto& c : cases)
        EXPECT_EQ(StorageWarning::texts("x", c.directory, "/home/ann", c.state).informative.split("\n\n").value(1),
                  c.second);

    // The shown warning looks at the folder itself: a file where the folder should be is no folder.
    QTemporaryDir data;
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    const auto shown = [] {
        QString text;
        whenShown([&text] {
            for (QWidget* window : QApplication::topLevelWidgets())
                if (auto* box = qobject_cast<QMessageBox*>(window); box && box->isVisible()) {
                    text = box->findChild<QLabel*>("qt_msgbox_informativelabel")->text().remove(u'\u2060');
                    QTest::keyClick(box, Qt::Key_Escape);
                }
        });
        StorageWarning::run("x");
        return text.split("\n\n").value(1);
    };
    QFile blocker(data.filePath("tarnwick"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString blocked = shown();
    EXPECT_TRUE(blocked.startsWith("Tarnwick could not make the folder for your notes, ")) << blocked.toStdString();
    EXPECT_FALSE(blocked.contains("on disk")) << blocked.toStdString();
    ASSERT_TRUE(blocker.remove() && QDir(data.path()).mkdir("tarnwick"));
    // The folder alone, or with a folder where the notes file should be, holds no notes.
    const QString empty = shown();
    EXPECT_TRUE(empty.startsWith("Tarnwick could not make its notes file in the folder for your notes, "))
        << empty.toStdString();
    EXPECT_FALSE(empty.contains("on disk")) << empty.toStdString();
    ASSERT_TRUE(QDir(data.path()).mkpath("tarnwick/default.store"));
    EXPECT_EQ(shown(), empty);
    ASSERT_TRUE(QDir(data.path()).rmdir("tarnwick/default.store"));
    QFile notes(data.filePath("tarnwick/default.store"));
    ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
    notes.close();
    const QString there = shown();
    EXPECT_TRUE(there.contains("your notes are still on disk in ") && there.endsWith("/tarnwick."))
        << there.toStdString();
    qputenv("XDG_DATA_HOME", saved);
}

TEST(StorageWarning, EscapeAndReturnQuitOnlyContinueContinues)
{
    auto answer = [](std::function<void(QMessageBox*)> act) {
        whenShown([act] {
            for (QWidget* window : QApplication::topLevelWidgets())
                if (auto* box = qobject_cast<QMessageBox*>(window); box && box->isVisible()) return act(box);
        });
        return StorageWarning::run("<b>not</b> a database");
    };
    QString shown;
    EXPECT_EQ(answer([&](QMessageBox* box) {
                  shown = box->findChild<QLabel*>("qt_msgbox_informativelabel")->text();
                  EXPECT_EQ(box->findChild<QLabel*>("qt_msgbox_informativelabel")->textFormat(), Qt::PlainText);
                  QTest::keyClick(box, Qt::Key_Escape);
              }),
              StorageWarning::Choice::quit);
    EXPECT_TRUE(shown.endsWith("(<b>not</b> a database)"));
    EXPECT_EQ(answer([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Return); }), StorageWarning::Choice::quit);
    EXPECT_EQ(answer([](QMessageBox* box) {
                  for (QAbstractButton* button : box->buttons())
                      if (button->text() == "Continue Without Saving") button->click();
              }),
              StorageWarning::Choice::continueWithoutSaving);
}

}  // namespace

namespace {

// Every text is exactly as tall as its wrapped lines, the blocks stand 16 apart and the reassurances
// 8, whatever the panel: a window taller than its content must not spread the rest between them.
TEST(PermissionPanelLayout, BlocksSixteenApartReassurancesEight)
{
    for (const PermissionPanel& panel :
         {PermissionPanel::notifications(true, {}, {}), PermissionPanel::notifications(false, {}, {}),
          PermissionPanel::accessibility("Alt+Shift+Space", {}, {})}) {
        PermissionPanelView view(panel);
        view.adjustSize();
        view.show();
        QApplication::processEvents();
        QList<QRect> texts;  // the labels holding words, top to bottom
        for (QLabel* label : view.findChildren<QLabel*>()) {
            if (label->text().isEmpty()) continue;
            EXPECT_EQ(label->height(), label->heightForWidth(label->width())) << qPrintable(label->text());
            texts << QRect(label->mapTo(&view, QPoint(0, 0)), label->size());
        }
        std::sort(texts.begin(), texts.end(), [](const QRect& a, const QRect& b) { return a.y() < b.y(); });
        ASSERT_EQ(texts.size(), 2 + panel.reassurances.size());
        const QWidget* tile = nullptr;
        for (QLabel* label : view.findChildren<QLabel*>())
            if (label->width() == 40 && label->height() == 40) tile = label;
        ASSERT_TRUE(tile);
        const int headingBottom = std::max(texts[0].bottom(), tile->mapTo(&view, QPoint(0, 0)).y() + 39);
        EXPECT_EQ(texts[1].top() - headingBottom - 1, 16) << "heading to paragraph";
        EXPECT_EQ(texts[2].top() - texts[1].bottom() - 1, 16) << "paragraph to reassurances";
        for (int i = 3; i < texts.size(); ++i) EXPECT_EQ(texts[i].top() - texts[i - 1].bottom() - 1, 8);
    }
}

}  // namespace
