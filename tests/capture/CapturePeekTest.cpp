// The peek card over a real store: which capture it shows, how it closes, its chip and Copy.
#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyleHints>
#include <QTest>
#include <QTextCursor>
#include <QToolButton>

#include "capture/CapturePeekController.h"
#include "design/KeyablePanel.h"
#include "model/Capture.h"
#include "support/KeyboardAtHide.h"
#include "support/NoteStoreFixture.h"

namespace {

class CapturePeekTest : public tarnwick::test::NoteStoreTestBase {
protected:
    CapturePeekTest()
    {
        peek.setUrlOpener([this](const QUrl& url) { opened << url; });
    }
    QUuid add(const QString& text, std::optional<QString> app = std::nullopt, std::optional<QUrl> url = std::nullopt)
    {
        Capture* c = context().insert(std::make_unique<Capture>(text, app, std::nullopt, url, std::nullopt,
                                                                std::nullopt, QDateTime::currentDateTimeUtc()));
        store->saveNow();
        return c->uuid();
    }
    template <typename T>
    T* child(const char* name)
    {
        return peek.panel() ? peek.panel()->findChild<T*>(name) : nullptr;
    }

    CapturePeekController peek{*store, clock};
    QList<QUrl> opened;
};

TEST_F(CapturePeekTest, OneCardAtATimeAndFourWaysToCloseIt)
{
    peek.present(QUuid::createUuid());
    EXPECT_EQ(peek.panel(), nullptr) << "an unknown capture shows nothing";

    const QUuid first = add("first"), second = add("second");
    peek.present(first);
    QPointer<KeyablePanel> replaced = peek.panel();
    peek.present(second);
    ASSERT_TRUE(peek.panel());
    EXPECT_NE(peek.panel(), replaced.data());
    EXPECT_EQ(child<QPlainTextEdit>("captureText")->toPlainText(), "second");
    if (replaced) QApplication::sendEvent(replaced, new QEvent(QEvent::WindowDeactivate));
    EXPECT_TRUE(peek.panel()) << "a replaced card's late deactivation leaves its successor open";
    peek.present(QUuid::createUuid());
    EXPECT_TRUE(peek.panel()) << "an unknown capture leaves the open card alone";

    const std::vector<std::function<void()>> closers{
        [&] { child<QToolButton>("closeButton")->click(); },
        [&] { QTest::keyClick(peek.panel(), Qt::Key_W, Qt::ControlModifier); },
        [&] { QTest::keyClick(peek.panel(), Qt::Key_Escape); },
        [&] {
            // Later than a double click's second press, which may follow the opening click.
            clock.advance(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 1);
            QEvent deactivate(QEvent::WindowDeactivate);
            QApplication::sendEvent(peek.panel(), &deactivate);
        },
    };
    for (std::size_t i = 0; i < closers.size(); ++i) {
        peek.present(first);
        ASSERT_TRUE(peek.panel());
        QApplication::setActiveWindow(peek.panel());
        closers[i]();
        EXPECT_EQ(peek.panel(), nullptr) << "way " << i;
    }
}

// A double click on what opens the card presses a second time where the first click was, a moment
// later, on whatever lies there now: that press takes the keys from the card but does not close it,
// and the card takes them back. A press elsewhere, or after the double-click time, closes it.
TEST_F(CapturePeekTest, TheDoubleClickThatOpensTheCardDoesNotCloseIt)
{
    const QUuid id = add("words");
    const int interval = QGuiApplication::styleHints()->mouseDoubleClickInterval();
    const auto secondPress = [&](int afterMs, const QPoint& at) {
        QCursor::setPos(at);
        clock.advance(afterMs);
        QEvent deactivate(QEvent::WindowDeactivate);
        QApplication::sendEvent(peek.panel(), &deactivate);
    };
    QCursor::setPos(200, 200);
    peek.present(id);
    ASSERT_TRUE(peek.panel());
    secondPress(80, {201, 200});
    ASSERT_TRUE(peek.panel()) << "the double click's second press";
    EXPECT_TRUE(peek.panel()->isVisible());
    secondPress(20, {201, 200});
    EXPECT_EQ(peek.panel(), nullptr) << "a click after the double click closes it";

    for (const auto& [afterMs, at] : {std::pair{80, QPoint(260, 200)}, std::pair{interval + 1, QPoint(200, 200)}}) {
        QCursor::setPos(200, 200);
        peek.present(id);
        ASSERT_TRUE(peek.panel());
        secondPress(afterMs, at);
        EXPECT_EQ(peek.panel(), nullptr) << "a press " << afterMs << " ms later at " << at.x();
    }
}

// Closed by its key, the card gives the keyboard back to the field it was opened over, also when it
// replaced another card meanwhile.
TEST_F(CapturePeekTest, ClosingByKeyGivesTheKeyboardBack)
{
    QWidget shelf;
    shelf.setGeometry(100, 100, 300, 200);
    auto* search = new QLineEdit(&shelf);
    new QLineEdit(&shelf);
    shelf.show();
    QApplication::setActiveWindow(&shelf);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&shelf));
    search->setFocus();

    const QUuid first = add("first"), second = add("second");
    peek.present(first);
    ASSERT_TRUE(QTest::qWaitForWindowActive(peek.panel()));
    peek.present(second);
    ASSERT_TRUE(QTest::qWaitForWindowActive(peek.panel()));
    QTest::keyClick(peek.panel(), Qt::Key_Escape);
    ASSERT_EQ(peek.panel(), nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &shelf; }, 2000));
    EXPECT_EQ(QApplication::focusWidget(), search);
}

// Opened from the shelf, which hides as the card takes the keyboard, the card gives the keyboard back
// to the note the user was typing in before the shelf opened, by each of its keys and its button.
TEST_F(CapturePeekTest, OpenedFromAWindowThatHidesTheCardGivesTheKeyboardToTheOnesOpener)
{
    QWidget note, shelf;
    note.setGeometry(100, 100, 300, 200);
    new QLineEdit(&note);
    auto* body = new QLineEdit(&note);
    shelf.setGeometry(500, 100, 300, 200);
    const QUuid id = add("words");
    const std::vector<std::function<void()>> closers{
        [&] { QTest::keyClick(peek.panel(), Qt::Key_Escape); },
        [&] { QTest::keyClick(peek.panel(), Qt::Key_W, Qt::ControlModifier); },
        [&] { child<QToolButton>("closeButton")->click(); },
    };
    for (std::size_t i = 0; i < closers.size(); ++i) {
        note.show();
        QApplication::setActiveWindow(&note);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&note));
        body->setFocus();
        FocusReturn typingIn;
        typingIn.capture(&note);
        shelf.show();
        QApplication::setActiveWindow(&shelf);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&shelf));

        peek.present(id, typingIn);
        ASSERT_TRUE(QTest::qWaitForWindowActive(peek.panel()));
        shelf.hide();
        tarnwick::test::KeyboardAtHide spy(peek.panel());
        closers[i]();
        ASSERT_EQ(peek.panel(), nullptr);
        EXPECT_EQ(spy.activeAtHide(), &note) << "given back before the card hid, way " << i;
        EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &note; }, 2000)) << "way " << i;
        EXPECT_EQ(QApplication::focusWidget(), body) << "way " << i;
    }
}

TEST_F(CapturePeekTest, TheChipLinksOnlyWebAddressesAndTextStaysLiteral)
{
    peek.present(add("<b>x</b>", std::nullopt, QUrl("https://example.org/a")));
    auto* chip = child<QToolButton>("sourceChip");
    EXPECT_EQ(chip->text(), "Capture");
    EXPECT_EQ(chip->toolTip(), "Open the source");
    EXPECT_EQ(chip->accessibleName(), "Open the source in its app");
    EXPECT_EQ(child<QPlainTextEdit>("captureText")->toPlainText(), "<b>x</b>");
    chip->click();
    EXPECT_EQ(opened, QList<QUrl>{QUrl("https://example.org/a")});

    for (const char* address : {"file:///etc/passwd", "javascript:alert(1)", "ssh://host"}) {
        peek.present(add("text", QString("<b>Probe</b>"), QUrl(address)));
        chip = child<QToolButton>("sourceChip");
        EXPECT_EQ(chip->text(), "<b>Probe</b>");
        EXPECT_TRUE(chip->toolTip().isEmpty()) << address;
        chip->click();
    }
    EXPECT_EQ(opened.size(), 1) << "no other scheme is ever opened";
}

TEST_F(CapturePeekTest, CopyPutsTheTextOnTheClipboardAndSaysCopiedFor1point4Seconds)
{
    peek.present(add("copied text\n"));
    auto* copy = child<QPushButton>("copyButton");
    copy->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "copied text\n");
    EXPECT_EQ(copy->text(), "Copied");
    clock.advance(1000);
    copy->click();
    clock.advance(399);
    EXPECT_EQ(copy->text(), "Copied");
    clock.advance(1);
    EXPECT_EQ(copy->text(), "Copy") << "the first press's reset clears it";

    // A short text makes a short card; a long one scrolls inside 320 points.
    EXPECT_LT(child<QPlainTextEdit>("captureText")->height(), 120);
    peek.present(add(QString("a line of several words ").repeated(300)));
    EXPECT_EQ(child<QPlainTextEdit>("captureText")->height(), 320);
}

// The chip, the first letter of the text and the date share the card's 20-point leading edge.
TEST_F(CapturePeekTest, ChipTextAndDateShareTheLeadingEdge)
{
    peek.present(add("Edge words", QStringLiteral("Browser"), QUrl("https://example.org")));
    KeyablePanel* panel = peek.panel();
    ASSERT_TRUE(panel);
    panel->adjustSize();
    QApplication::processEvents();
    auto* chip = child<QToolButton>("sourceChip");
    auto* text = child<QPlainTextEdit>("captureText");
    auto* date = child<QLabel>("date");
    ASSERT_TRUE(chip && text && date);
    EXPECT_EQ(chip->mapTo(panel, QPoint(0, 0)).x(), 20);
    EXPECT_EQ(date->mapTo(panel, QPoint(0, 0)).x() + date->contentsMargins().left() + std::max(0, date->indent()), 20);
    QTextCursor start(text->document());
    const QRect caret = text->cursorRect(start);
    EXPECT_EQ(text->viewport()->mapTo(panel, caret.topLeft()).x(), 20);
    // The chip's label starts at its own left edge: no padding of a style in front of it.
    EXPECT_LE(chip->sizeHint().width(), QFontMetrics(chip->font()).horizontalAdvance("Browser") + 2);
}

// A left-button drag from `at` (in the card) by `by`, delivered to whatever the pointer would hit there.
QPoint dragCard(QWidget* panel, QPoint at, QPoint by)
{
    QWidget* target = panel->childAt(at);
    if (!target) target = panel;
    const QPoint local = target->mapFrom(panel, at);
    const QPoint before = panel->pos();
    QTest::mousePress(target, Qt::LeftButton, {}, local);
    QTest::mouseMove(target, local + by);
    // Released where the pointer is now, over the card wherever it went.
    QTest::mouseRelease(target, Qt::LeftButton, {}, local + by - (panel->pos() - before));
    return panel->pos() - before;
}

TEST_F(CapturePeekTest, TheBackgroundDragsTheCardTheTextButtonsAndLinkedChipDoNot)
{
    peek.present(
        add(QString("Drag me somewhere ").repeated(8), QStringLiteral("Browser"), QUrl("https://example.org")));
    KeyablePanel* panel = peek.panel();
    ASSERT_TRUE(panel);
    QApplication::processEvents();
    auto* date = child<QLabel>("date");
    auto* copy = child<QPushButton>("copyButton");
    auto* chip = child<QToolButton>("sourceChip");
    auto* text = child<QPlainTextEdit>("captureText");
    const auto in = [&](QWidget* w) { return w->mapTo(panel, w->rect().center()); };

    // The header's gap between the chip and the close button, the footer's date and its gap.
    const QPoint headerGap(panel->width() / 2, 14);
    const QPoint footerGap(panel->width() / 2, panel->height() - 12);
    ASSERT_EQ(panel->childAt(headerGap), nullptr);
    for (const QPoint at : {headerGap, in(date), footerGap}) {
        const QPoint start = panel->pos();
        EXPECT_EQ(dragCard(panel, at, {40, 25}), QPoint(40, 25)) << at.x() << "," << at.y();
        EXPECT_EQ(dragCard(panel, at, {-40, -25}), QPoint(-40, -25));
        EXPECT_EQ(panel->pos(), start);
    }
    EXPECT_EQ(peek.panel(), panel) << "a drag leaves the card open";

    // The text selects, the buttons and the linked chip keep their clicks: none of them drags.
    for (QWidget* own : {static_cast<QWidget*>(text->viewport()), static_cast<QWidget*>(copy),
                         static_cast<QWidget*>(chip), panel->findChild<QWidget*>("closeButton")}) {
        EXPECT_EQ(dragCard(panel, in(own), {40, 25}), QPoint()) << own->objectName().toStdString();
    }
    ASSERT_EQ(peek.panel(), panel) << "a press on the close button that ends elsewhere does not close";
    EXPECT_FALSE(text->textCursor().selectedText().isEmpty()) << "a drag over the text selects it";
    EXPECT_TRUE(opened.isEmpty()) << "a press on the chip that ends elsewhere opens nothing";

    // However far it is dragged, the card stays whole on the screen's visible area.
    const QRect visible = panel->screen()->availableGeometry();
    dragCard(panel, footerGap, {5000, 5000});
    EXPECT_EQ(panel->geometry().bottomRight(), visible.bottomRight());
    dragCard(panel, footerGap, {-5000, -5000});
    EXPECT_EQ(panel->pos(), visible.topLeft());

    // Left hanging off by a larger screen, the card is brought whole onto this one when it changes.
    panel->move(visible.right() - 40, visible.top() + 10);
    QScreen* screen = panel->screen();
    Q_EMIT screen->availableGeometryChanged(visible);
    QApplication::processEvents();
    EXPECT_EQ(panel->geometry().right(), visible.right());
    EXPECT_EQ(panel->y(), visible.top() + 10);

    // The next card is placed afresh, where a new one always stands.
    const QPoint dragged = panel->pos();
    peek.present(add("next"));
    EXPECT_NE(peek.panel()->pos(), dragged);
}

}  // namespace
