// The shelf's panel as drawn: hints never cut, help on every icon, dates and matches whole, the thin
// scroll bar and the lens chips' own geometry.
#include <gtest/gtest.h>

#include <functional>

#include <QAccessible>
#include <QApplication>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>
#include <QToolTip>
#include <QWheelEvent>

#include "design/OverlayScrollBar.h"
#include "design/TarnwickType.h"
#include "shelf/ShelfFixture.h"
#include "shelf/ShelfLensChip.h"
#include "shelf/ShelfListView.h"
#include "shelf/ShelfRowDelegate.h"
#include "shelf/ShelfTexts.h"
#include "shelf/ShelfWindowHost.h"

using namespace tarnwick::test;

namespace {

class ShelfViewTest : public ShelfFixture {
protected:
    void SetUp() override
    {
        ShelfFixture::SetUp();
        windows = std::make_unique<ShelfWindowHost>(*shelf, Clock::system(), Settings::shared(), ShelfPanel::Options{});
    }
    void TearDown() override
    {
        windows.reset();
        ShelfFixture::TearDown();
    }
    ShelfPanel* open()
    {
        shelf->present();
        ShelfPanel* panel = windows->panel();
        panel->show();
        turn();
        return panel;
    }
    ShelfListView* view() const
    {
        ShelfPanel* panel = windows->panel();
        return state().surface() == ShelfSearchState::Surface::search ? panel->searchView() : panel->browseView();
    }
    ShelfSearchState& state() const { return shelf->searchState(); }
    int rowOf(const ShelfRow& row) const { return static_cast<ShelfListModel*>(view()->model())->indexOf(row); }
    QRect rectOf(int row) const { return view()->visualRect(view()->model()->index(row, 0)); }
    // Rests the pointer over `pos` of the viewport and asks for the tooltip there.
    QString tooltipAt(const QPoint& pos)
    {
        QWidget* viewport = view()->viewport();
        QMouseEvent move(QEvent::MouseMove, pos, viewport->mapToGlobal(pos), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(viewport, &move);
        QToolTip::hideText();
        QHelpEvent help(QEvent::ToolTip, pos, viewport->mapToGlobal(pos));
        QApplication::sendEvent(viewport, &help);
        return help.isAccepted() && QToolTip::isVisible() ? QToolTip::text() : QString();
    }
    std::unique_ptr<ShelfWindowHost> windows;
};

// Every empty-state line at the panel's size, the longest query included, lies inside its row: the
// text wrapped at the row's width (measured here on its own) fits between the paddings, and nothing
// of a normal hint is left out.
TEST_F(ShelfViewTest, EveryHintFitsItsRow)
{
    open();
    const auto hintRow = [&]() -> std::pair<QString, QRect> {
        auto* model = static_cast<ShelfListModel*>(view()->model());
        for (int i = 0; i < model->rowCount(); ++i)
            if (model->item(i).kind == ShelfListModel::Kind::hint) return {model->text(i), rectOf(i)};
        return {};
    };
    const QFont font = TarnwickType::system(12.5);
    const int textWidth = view()->viewport()->width() - 38;
    const auto check = [&](const char* where, bool whole) {
        const auto [text, rect] = hintRow();
        ASSERT_FALSE(text.isEmpty()) << where;
        const auto layout = ShelfRowDelegate::hintLayout(text, view()->viewport()->width());
        EXPECT_LE(layout.lines.size(), 3) << where;
        const int needed =
            QFontMetrics(font).boundingRect(QRect(0, 0, textWidth, 10000), Qt::TextWordWrap, text).height();
        if (whole) {
            EXPECT_LE(needed + 2 * ShelfRowDelegate::hintPadding, rect.height()) << where;
            EXPECT_EQ(layout.lines.join(' ').simplified(), text.simplified()) << where;
        }
        EXPECT_LE(int(std::ceil(layout.lines.size() * layout.lineHeight)) + 2 * ShelfRowDelegate::hintPadding,
                  rect.height())
            << where;
    };
    state().setLens(ShelfSearchState::Lens::bin);
    turn();
    check("bin", true);
    state().setLens(ShelfSearchState::Lens::captures);
    turn();
    check("captures", true);
    state().setLens(ShelfSearchState::Lens::notes);
    turn();
    check("notes", true);
    state().setQuery(" ");
    turn();
    check("search prompt", true);
    state().setQuery("a query that is long but still readable");
    turn();
    check("no match", true);

    // 10,000 characters: shortened in the middle, both ends and the closing mark kept, no row lost.
    const QString huge = "start" + QString(10000, u'x') + "end";
    windows->panel()->searchField()->setText(huge);
    state().setQuery(huge);
    turn();
    const QString shown = hintRow().first;
    EXPECT_TRUE(shown.startsWith(QString::fromUtf16(u"Nothing matches \u201Cstart")));
    EXPECT_TRUE(shown.endsWith(QString::fromUtf16(u"end\u201D.")));
    EXPECT_TRUE(shown.contains(u'\u2026'));
    check("huge query", false);
    EXPECT_EQ(state().query(), huge) << "the query itself is kept whole";
}

// A tooltip over each hover icon and over the lock gives its help text, which is also its name.
TEST_F(ShelfViewTest, EveryIconHasItsHelp)
{
    Note* plain = addNote("Plain");
    Note* locked = addNote("Hidden", "secret", 5);
    locked->setIsLocked(true);
    Note* binned = addNote("Binned", {}, 9);
    Capture* capture = addCapture("captured words", QStringLiteral("Browser"));
    store->saveNow();
    store->softDelete(*binned);
    open();

    const auto iconsOf = [&](const ShelfRow& row) {
        const int index = rowOf(row);
        const QRect rect = rectOf(index);
        QMouseEvent move(QEvent::MouseMove, rect.center(), view()->viewport()->mapToGlobal(rect.center()), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(view()->viewport(), &move);
        QStringList names, tips;
        for (const auto& mark : view()->rowDelegate()->marks(rect, view()->model()->index(index, 0))) {
            names << mark.name;
            tips << tooltipAt(mark.rect.center());
        }
        EXPECT_EQ(tips, names);
        return names;
    };
    EXPECT_EQ(iconsOf(ShelfRow::note(plain->uuid())), (QStringList{"Pin", "Delete note"}));
    EXPECT_EQ(iconsOf(ShelfRow::note(locked->uuid())), (QStringList{"Pin", "Delete note", "Locked"}));
    EXPECT_EQ(view()->model()->index(rowOf(ShelfRow::note(locked->uuid())), 0).data(Qt::AccessibleDescriptionRole),
              "Locked");
    EXPECT_TRUE(tooltipAt(rectOf(rowOf(ShelfRow::note(plain->uuid()))).center()).isEmpty()) << "the title has none";

    state().setLens(ShelfSearchState::Lens::captures);
    turn();
    EXPECT_EQ(iconsOf(ShelfRow::capture(capture->uuid())), (QStringList{"Pin", "Delete capture"}));
    state().setLens(ShelfSearchState::Lens::bin);
    turn();
    EXPECT_EQ(iconsOf(ShelfRow::binNote(binned->uuid())), (QStringList{"Restore note", "Delete forever"}));
}

// A capture of last year shows its year in the slot, drawn whole; a bold match far along a snippet is
// drawn whole in a narrow row.
TEST_F(ShelfViewTest, DatesAndMatchesAreDrawnWhole)
{
    Capture* old = addCapture("from last year", std::nullopt, std::nullopt, 400 * 86400);
    store->saveNow();
    state().setLens(ShelfSearchState::Lens::captures);
    open();
    auto* model = static_cast<ShelfListModel*>(view()->model());
    const auto texts = model->texts(model->indexOf(ShelfRow::capture(old->uuid())));
    const QString slot = ShelfRowDelegate::slotText(texts);
    const QString year = QString::number(now().addSecs(-400 * 86400).date().year());
    EXPECT_TRUE(slot.contains(year) || slot.contains(year.right(2))) << qPrintable(slot);
    EXPECT_LE(QFontMetrics(ShelfRowDelegate::slotFont()).horizontalAdvance(slot), ShelfRowDelegate::slotWidth());

    const QString snippet = "…a long stretch of words before the word we look for, then NEED and more after it";
    const qsizetype at = snippet.indexOf("NEED");
    const QFont font = TarnwickType::system(11.5);
    for (const int width : {140, 200, 260}) {
        const auto fitted = ShelfRowDelegate::fitLine(snippet, SearchSupport::Highlighted::Span{at, 4}, font, width);
        ASSERT_TRUE(fitted.bold) << width;
        EXPECT_EQ(fitted.text.mid(fitted.bold->start, fitted.bold->length), "NEED") << qPrintable(fitted.text);
        QFont bold = font;
        bold.setWeight(QFont::Bold);
        const qreal drawn = QFontMetricsF(font).horizontalAdvance(fitted.text.left(fitted.bold->start)) +
                            QFontMetricsF(bold).horizontalAdvance("NEED");
        EXPECT_LE(drawn, width) << qPrintable(fitted.text);
    }
    const auto tooNarrow = ShelfRowDelegate::fitLine(snippet, SearchSupport::Highlighted::Span{at, 4}, font, 12);
    EXPECT_LE(QFontMetricsF(font).horizontalAdvance(tooNarrow.text), 12.5);
}

// The lens chips are padded 11 around a centred label and stand 4 apart from the panel's 12-point
// edge; the list's scroll bar is laid over it and never narrows the rows.
TEST_F(ShelfViewTest, ChipsAndTheScrollBar)
{
    for (int i = 0; i < 60; ++i) addNote(QStringLiteral("Note %1").arg(i), {}, i * 60);
    store->saveNow();
    ShelfPanel* panel = open();
    const auto& chips = panel->lensChips();
    ASSERT_EQ(chips.size(), 3);
    int x = 12;
    for (ShelfLensChip* chip : chips) {
        EXPECT_EQ(chip->x(), x) << qPrintable(chip->text());
        x += chip->width() + 4;
        const QFont font = TarnwickType::system(12, chip->isSelected() ? QFont::DemiBold : QFont::Normal);
        const qreal title = QFontMetricsF(font).horizontalAdvance(chip->text());
        const QRectF label =
            chip->iconRect().isNull() ? chip->titleRect() : chip->titleRect().united(QRectF(chip->iconRect()));
        EXPECT_NEAR(label.left(), ShelfLensChip::paddingX, 1.0) << qPrintable(chip->text());
        EXPECT_NEAR(chip->width() - label.right(), ShelfLensChip::paddingX, 1.0) << qPrintable(chip->text());
        EXPECT_NEAR(chip->titleRect().width(), title, 0.5);
    }
    EXPECT_TRUE(chips[1]->isSelected()) << "the notes lens";

    ShelfListView* list = panel->browseView();
    ASSERT_GT(list->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(list->viewport()->width(), list->width()) << "the rows keep their width while scrollable";
    auto* bar = list->findChild<OverlayScrollBar*>();
    ASSERT_TRUE(bar);
    EXPECT_FALSE(list->verticalScrollBar()->isVisible());
    const QRect before = bar->thumbRect();
    // The wheel still scrolls with the style's bar turned off.
    const QPoint middle = list->viewport()->rect().center();
    QWheelEvent wheel(middle, list->viewport()->mapToGlobal(middle), {}, {0, -120}, Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(list->viewport(), &wheel);
    EXPECT_GT(list->verticalScrollBar()->value(), 0);
    list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum());
    EXPECT_TRUE(bar->isShowing());
    EXPECT_GT(bar->thumbRect().top(), before.top());
    EXPECT_EQ(bar->geometry().right(), list->viewport()->geometry().right());
}

}  // namespace

// What a screen reader reaches: headings as headings, each row an item named as it reads with its
// icons as buttons named from the command table, whose press runs the command; the row's own press
// opens what a click opens; the search field is named as it reads.
TEST_F(ShelfViewTest, RowsAndTheirIconsAreReachableByAssistiveTools)
{
    Note* plain = addNote("Plain");
    Note* binned = addNote("Binned", {}, 9);
    store->saveNow();
    store->softDelete(*binned);
    ShelfPanel* panel = open();
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(view());
    ASSERT_TRUE(list);
    ASSERT_EQ(list->childCount(), view()->model()->rowCount());

    QAccessibleInterface* heading = list->child(0);
    EXPECT_EQ(heading->role(), QAccessible::Heading);
    EXPECT_EQ(heading->actionInterface(), nullptr) << "a heading is nothing to toggle";
    QAccessibleInterface* row = list->child(rowOf(ShelfRow::note(plain->uuid())));
    EXPECT_EQ(row->role(), QAccessible::ListItem);
    EXPECT_EQ(row->text(QAccessible::Name),
              view()->model()->index(rowOf(ShelfRow::note(plain->uuid())), 0).data(Qt::AccessibleTextRole));
    ASSERT_EQ(row->childCount(), 2);
    EXPECT_EQ(row->child(0)->text(QAccessible::Name), "Pin");
    EXPECT_EQ(row->child(1)->text(QAccessible::Name), "Delete note");
    EXPECT_EQ(row->child(0)->role(), QAccessible::Button);
    EXPECT_EQ(row->indexOfChild(row->child(1)), 1);
    EXPECT_EQ(row->child(0)->parent(), row);
    EXPECT_EQ(row->actionInterface()->actionNames(), QStringList{QAccessibleActionInterface::pressAction()});

    row->child(0)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    turn();
    EXPECT_TRUE(plain->isPinned());
    row = list->child(rowOf(ShelfRow::note(plain->uuid())));
    ASSERT_TRUE(row && row->childCount() > 0);
    EXPECT_EQ(row->child(0)->text(QAccessible::Name), "Unpin") << "the name follows the command";

    EXPECT_EQ(QAccessible::queryAccessibleInterface(panel->findChild<QLineEdit*>())->text(QAccessible::Name),
              "Search your notes and captures");

    state().setLens(ShelfSearchState::Lens::bin);
    turn();
    row = list->child(rowOf(ShelfRow::binNote(binned->uuid())));
    ASSERT_TRUE(row);
    row->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_FALSE(binned->isTrashed()) << "a bin row's press restores it, as its click does";
}

// Qt turns its accessibility on only when a screen reader's bridge asks; the offscreen platform has
// no bridge, so the test asks in its place, through the platform's (unpublished) switch.
class QPlatformAccessibility {
public:
    void setActive(bool active);
};
class QPlatformIntegration {
public:
    QPlatformAccessibility* accessibility() const;
};
class QGuiApplicationPrivate {
public:
    static QPlatformIntegration* platform_integration;
};

namespace {
// The focus, selection and active-descendant events told while it lives, with the name each is about.
struct Heard {
    static inline QList<QPair<QAccessible::Event, QString>> events;
    static void handler(QAccessibleEvent* event)
    {
        if (QList{QAccessible::Focus, QAccessible::Selection, QAccessible::ActiveDescendantChanged}.contains(
                event->type()))
            events.append({event->type(), event->accessibleInterface()->text(QAccessible::Name)});
    }
    static void activate(bool on) { QGuiApplicationPrivate::platform_integration->accessibility()->setActive(on); }
    Heard() : previous(QAccessible::installUpdateHandler(handler)) { activate(true); }
    ~Heard()
    {
        activate(false);
        QAccessible::installUpdateHandler(previous);
    }
    // The names told as focus since the last call.
    static QStringList focused()
    {
        QStringList out;
        for (const auto& [type, name] : std::exchange(events, {}))
            if (type == QAccessible::Focus) out << name;
        return out;
    }
    QAccessible::UpdateHandler previous;
};
}  // namespace

// Rows, lenses and chips are told as the keys move over them; the chips are walked with the arrows
// (stopping at the ends) and Tab (going round), pressed with Space and Return, and read and stand as
// drawn, also at a place whose row's icons were read before.
TEST_F(ShelfViewTest, KeysAreToldAndTheActionsRowReadsAsDrawn)
{
    addNote("Older", {}, 60);
    addNote("Newer");
    store->saveNow();
    QLineEdit* field = open()->searchField();
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(view());
    ASSERT_EQ(shown(shelf->browseModel()), (QStringList{"H:Today", "N:Newer", "N:Older"}));
    const QString newer = list->child(1)->text(QAccessible::Name);
    EXPECT_EQ(list->child(2)->child(1)->text(QAccessible::Name), "Delete note");  // read before the chips

    Heard heard;
    QTest::keyClick(field, Qt::Key_Down);
    EXPECT_EQ(Heard::events,
              (QList<QPair<QAccessible::Event, QString>>{{QAccessible::Focus, newer},
                                                         {QAccessible::Selection, newer},
                                                         {QAccessible::ActiveDescendantChanged, newer}}));
    EXPECT_TRUE(list->child(1)->state().focused && list->child(1)->state().selected);
    QTest::keyClick(field, Qt::Key_Tab);
    EXPECT_EQ(Heard::focused(), (QStringList{newer, "Bin, selected"}));
    state().setLens(ShelfSearchState::Lens::notes);
    turn();

    QTest::keyClick(field, Qt::Key_Down);
    QTest::keyClick(field, Qt::Key_K, Qt::ControlModifier);
    ASSERT_EQ(static_cast<ShelfListModel*>(view()->model())->actionsItem(), 2);  // where Older's icons were
    EXPECT_EQ(Heard::focused().last(), "Open");
    QAccessibleInterface* chips = list->child(2);
    ASSERT_EQ(chips->childCount(), 4);
    QStringList names;
    for (int i = 0; i < 4; ++i) {
        names << chips->child(i)->text(QAccessible::Name);
        const QRect chip = chips->child(i)->rect();
        EXPECT_TRUE(chips->rect().contains(chip) && chip.width() < chips->rect().width() / 3 &&
                    (i == 0 || chip.left() > chips->child(i - 1)->rect().right()))
            << i;
    }
    EXPECT_EQ(names, (QStringList{"Open", "Pin", "Roll up", "Delete"}));

    for (const auto key :
         {Qt::Key_Right, Qt::Key_Right, Qt::Key_Right, Qt::Key_Right, Qt::Key_Left, Qt::Key_Tab, Qt::Key_Tab})
        QTest::keyClick(field, key);
    EXPECT_EQ(Heard::focused(), (QStringList{"Pin", "Roll up", "Delete", "Roll up", "Delete", "Open"}));
    EXPECT_TRUE(chips->child(0)->state().focused);
    QTest::keyClick(field, Qt::Key_Right);
    QTest::keyClick(field, Qt::Key_Space);  // Pin
    EXPECT_TRUE(store->note(state().selectedRow()->id)->isPinned());
    EXPECT_EQ(field->text(), "") << "no key of the chips was typed";
    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_FALSE(state().showActions());
    EXPECT_TRUE(shelf->isOpen());
    QTest::keyClick(field, Qt::Key_K, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Return);  // Open
    EXPECT_EQ(opened.size(), 1);
}

// The bin's "Empty bin" is a button of the bin heading, where the pointer finds it, and its press
// empties the bin at once as its click does, leaving the bin's hint and no selection; a day heading
// holds no button.
TEST_F(ShelfViewTest, EmptyBinIsAButtonForAssistiveTools)
{
    Note* first = addNote("First", {}, 20);
    Note* second = addNote("Second", {}, 10);
    addNote("Kept");
    store->saveNow();
    store->softDelete(*first);
    store->softDelete(*second);
    state().setLens(ShelfSearchState::Lens::bin);
    open();
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(view());
    QAccessibleInterface* heading = list->child(0);
    ASSERT_EQ(heading->childCount(), 1);
    QAccessibleInterface* empty = heading->child(0);
    EXPECT_EQ(empty->role(), QAccessible::Button);
    EXPECT_EQ(empty->text(QAccessible::Name), "Empty bin");
    EXPECT_EQ(empty->parent(), heading);
    const QPoint centre = view()->viewport()->mapFromGlobal(empty->rect().center());
    EXPECT_EQ(view()->rowDelegate()->hitTest(rectOf(0), view()->model()->index(0, 0), centre).kind,
              ShelfRowDelegate::Hit::Kind::emptyBin);
    state().setQuery("First");
    turn();
    EXPECT_TRUE(empty->state().invisible) << "the bin is behind the results";
    state().exitSearch();
    turn();
    EXPECT_FALSE(empty->state().invisible);

    state().setSelectedRow(ShelfRow::binNote(first->uuid()));
    empty->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    turn();
    EXPECT_TRUE(store->trashed().isEmpty());
    EXPECT_EQ(store->allActive().size(), 1) << "only the bin is emptied";
    EXPECT_FALSE(state().selectedRow()) << "the selection went with the bin's rows";
    EXPECT_EQ(shown(shelf->browseModel()), QStringList{"?:" + ShelfTexts::binHint()});
    EXPECT_EQ(list->child(0)->childCount(), 0);
    state().setLens(ShelfSearchState::Lens::notes);
    turn();
    EXPECT_EQ(list->child(0)->childCount(), 0) << "a day heading holds no button";
}

// Only the surface shown reads as on screen: while searching, nothing of the browse list (its rows
// and their Pin and Delete) does, and once the search is left all of it does again.
TEST_F(ShelfViewTest, OnlyTheShownSurfaceReadsAsOnScreen)
{
    addNote("Alpha");
    addNote("Beta");
    store->saveNow();
    ShelfPanel* panel = open();
    // How many of `node` and everything below it read as on screen, and how many there are.
    const std::function<std::pair<int, int>(QAccessibleInterface*)> count = [&](QAccessibleInterface* node) {
        const QAccessible::State s = node->state();
        std::pair<int, int> out{s.invisible || s.offscreen ? 0 : 1, 1};
        for (int i = 0; i < node->childCount(); ++i) {
            const auto below = count(node->child(i));
            out = {out.first + below.first, out.second + below.second};
        }
        return out;
    };
    QAccessibleInterface* browse = QAccessible::queryAccessibleInterface(panel->browseView());
    QAccessibleInterface* results = QAccessible::queryAccessibleInterface(panel->searchView());
    // The list, its heading, two rows and their two icons each.
    EXPECT_EQ(count(browse), std::make_pair(8, 8));
    EXPECT_EQ(count(results).first, 0);
    state().setQuery("a");
    turn();
    EXPECT_EQ(count(browse), std::make_pair(0, 8));
    EXPECT_GE(count(results).second, 3) << "the list and a row for each match";
    EXPECT_EQ(count(results).first, count(results).second);
    state().exitSearch();
    turn();
    EXPECT_EQ(count(browse), std::make_pair(8, 8));
    EXPECT_EQ(count(results).first, 0);
}

// A double click comes as the platform sends it: press, release, double-click, release, with the
// lists rebuilt in between (a triple click adds a plain press and release). It acts once, whatever the
// first click moved under the pointer: on a bin row it restores that note alone, on "Delete forever" it
// purges one note and restores none, on a note's trash icon it bins one note and opens none, and on a
// capture row it peeks once.
TEST_F(ShelfViewTest, ADoubleClickActsOnceOnWhatItWasAimedAt)
{
    for (const char* title : {"First", "Second", "Third", "Fourth"}) {
        Note* note = addNote(title);
        store->saveNow();
        store->softDelete(*note);
    }
    addNote("Kept one", {}, 10);
    addNote("Kept two", {}, 20);
    addCapture("captured one", {}, {}, 10);
    addCapture("captured two", {}, {}, 20);
    store->saveNow();
    state().setLens(ShelfSearchState::Lens::bin);
    open();
    quint64 now = 10000;  // the events' time: each click a second after the last
    const auto send = [&](QEvent::Type type, const QPoint& pos, Qt::MouseButtons buttons) {
        QWidget* viewport = view()->viewport();
        QMouseEvent event(type, pos, viewport->mapToGlobal(pos),
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons, Qt::NoModifier);
        event.setTimestamp(now);
        QApplication::sendEvent(viewport, &event);
    };
    // Two or three presses 80 ms apart; a triple click comes as a double click and then a plain press.
    const auto clicks = [&](const QPoint& pos, int count) {
        now += 1000;
        send(QEvent::MouseMove, pos, Qt::NoButton);
        for (int i = 0; i < count; ++i) {
            send(i == 1 ? QEvent::MouseButtonDblClick : QEvent::MouseButtonPress, pos, Qt::LeftButton);
            send(QEvent::MouseButtonRelease, pos, Qt::NoButton);
            turn();
            now += 80;
        }
    };
    const auto doubleClick = [&](const QPoint& pos) { clicks(pos, 2); };
    // Where the hover icon named `name` of the first row (under its heading) stands.
    const auto iconOfFirstRow = [&](const QString& name) {
        const int row = 1;
        const QRect rect = rectOf(row);
        send(QEvent::MouseMove, rect.center(), Qt::NoButton);
        for (const auto& mark : view()->rowDelegate()->marks(rect, view()->model()->index(row, 0)))
            if (mark.name == name) return mark.rect.center();
        ADD_FAILURE() << "no " << qPrintable(name) << " on " << qPrintable(shown(shelf->browseModel()).join(' '));
        return QPoint();
    };
    const auto count = [&] { return int(store->allActive().size() + store->trashed().size()); };

    doubleClick(rectOf(1).center());
    EXPECT_EQ(store->trashed().size(), 3) << "one note restored: " << qPrintable(shown(shelf->browseModel()).join(' '));
    doubleClick(iconOfFirstRow("Delete forever"));
    EXPECT_EQ(count(), 5) << "one note purged";
    EXPECT_EQ(store->trashed().size(), 2) << "and none restored";

    state().setLens(ShelfSearchState::Lens::notes);
    turn();
    doubleClick(iconOfFirstRow("Delete note"));
    EXPECT_EQ(store->trashed().size(), 3) << "one note binned";
    EXPECT_TRUE(opened.isEmpty()) << "and none opened";

    state().setLens(ShelfSearchState::Lens::captures);
    turn();
    doubleClick(rectOf(1).center());
    EXPECT_EQ(peeked.size(), 1) << "one peek";

    // A triple click acts once too: its third press lands on what the first moved under the pointer.
    for (const char* title : {"Fifth", "Sixth", "Seventh"}) {
        Note* note = addNote(title);
        store->saveNow();
        store->softDelete(*note);
    }
    addNote("Kept three", {}, 30);
    store->saveNow();
    state().setLens(ShelfSearchState::Lens::bin);
    turn();
    const qsizetype binned = store->trashed().size();
    clicks(rectOf(1).center(), 3);
    EXPECT_EQ(store->trashed().size(), binned - 1) << "one note restored";
    const int before = count();
    clicks(iconOfFirstRow("Delete forever"), 3);
    EXPECT_EQ(count(), before - 1) << "one note purged";
    EXPECT_EQ(store->trashed().size(), binned - 2) << "and none restored";
    state().setLens(ShelfSearchState::Lens::notes);
    turn();
    clicks(iconOfFirstRow("Delete note"), 3);
    EXPECT_EQ(store->trashed().size(), binned - 1) << "one note binned";
    EXPECT_TRUE(opened.isEmpty()) << "and none opened";
    // A click after the double-click time is a click of its own.
    clicks(iconOfFirstRow("Delete note"), 1);
    EXPECT_EQ(store->trashed().size(), binned) << "the next click bins the next note";
}
