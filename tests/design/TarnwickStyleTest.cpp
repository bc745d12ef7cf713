#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QStyleFactory>
#include <QStyleOption>
#include <QToolTip>

#include "design/LightPalette.h"
#include "design/OverlayScrollBar.h"
#include "design/TarnwickStyle.h"
#include "design/TarnwickTheme.h"
#include "design/TarnwickType.h"
#include "support/Contrast.h"
#include "support/FakeClock.h"

namespace {

QImage render(QWidget& widget)
{
    widget.ensurePolished();
    widget.resize(widget.sizeHint());
    QImage image(widget.size(), QImage::Format_ARGB32);
    image.fill(TarnwickTheme::surface());
    widget.render(&image, {}, {}, QWidget::DrawChildren);
    return image;
}

bool near(QColor a, QColor b, int tolerance = 6)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

class TarnwickStyleTest : public ::testing::Test {
protected:
    FakeClock clock;
    TarnwickStyle style{clock};
};

TEST_F(TarnwickStyleTest, PushButtonsArePrimaryWhenDefaultQuietOtherwiseWithTheirPadding)
{
    QPushButton primary("Set");
    primary.setStyle(&style);
    primary.setDefault(true);
    QPushButton quiet("Check Now");
    quiet.setStyle(&style);
    QPushButton flat("Replay");
    flat.setStyle(&style);
    flat.setFlat(true);

    // The padding is the styles' own (26 and 16 a side) around the label in the style's font, with
    // room for the focus ring; the height is the same for all.
    const int ring = 2 * int(TarnwickStyle::kFocusRingWidth);
    const QFont semibold = TarnwickType::system(14, QFont::DemiBold), medium = TarnwickType::system(14, QFont::Medium);
    EXPECT_EQ(primary.sizeHint().width(), QFontMetrics(semibold).horizontalAdvance("Set") + 2 * 26 + ring);
    EXPECT_EQ(quiet.sizeHint().width(), QFontMetrics(medium).horizontalAdvance("Check Now") + 2 * 16 + ring);
    EXPECT_EQ(primary.sizeHint().height(), TarnwickStyle::kPushButtonHeight + ring);
    EXPECT_EQ(quiet.sizeHint().height(), primary.sizeHint().height());

    // Drawn: the accent behind white text, the resting fill, and nothing behind a flat button.
    const QImage a = render(primary), b = render(quiet), c = render(flat);
    EXPECT_TRUE(near(a.pixelColor(6, a.height() / 2), TarnwickTheme::accent()));
    EXPECT_TRUE(near(b.pixelColor(6, b.height() / 2), TarnwickTheme::fill()));
    EXPECT_TRUE(near(c.pixelColor(6, c.height() / 2), TarnwickTheme::surface()));

    QStyleOptionButton option;
    option.initFrom(&primary);
    option.features = QStyleOptionButton::DefaultButton;
    EXPECT_EQ(TarnwickStyle::pushButtonLook(option, false).foreground, QColor(Qt::white));
    option.state &= ~QStyle::State_Enabled;
    EXPECT_EQ(TarnwickStyle::pushButtonLook(option, false).foreground, TarnwickTheme::textTertiary());
    option.features = QStyleOptionButton::None;
    EXPECT_EQ(TarnwickStyle::pushButtonLook(option, false).foreground, TarnwickTheme::textTertiary());
    option.state |= QStyle::State_Enabled;
    EXPECT_EQ(TarnwickStyle::pushButtonLook(option, false).foreground, TarnwickTheme::textPrimary());
    EXPECT_NE(TarnwickStyle::pushButtonLook(option, true).background,
              TarnwickStyle::pushButtonLook(option, false).background);
}

TEST_F(TarnwickStyleTest, FocusIsAnAccentRingAroundTheControl)
{
    QImage image(60, 40, QImage::Format_ARGB32);
    image.fill(TarnwickTheme::surface());
    QPainter painter(&image);
    QStyleOptionButton option;
    option.rect = QRect(0, 0, 60, 40);
    option.state = QStyle::State_Enabled | QStyle::State_HasFocus;
    option.text = "Go";
    style.drawControl(QStyle::CE_PushButtonBevel, &option, &painter);
    painter.end();
    // The ring lies on the body's edge (2 px in), the body's middle keeps the fill.
    EXPECT_TRUE(near(image.pixelColor(30, 1), TarnwickTheme::accent(), 30));
    EXPECT_TRUE(near(image.pixelColor(30, 20), TarnwickTheme::fill()));

    QImage frame(40, 20, QImage::Format_ARGB32);
    frame.fill(TarnwickTheme::surface());
    QPainter p2(&frame);
    QStyleOption generic;
    generic.rect = frame.rect();
    style.drawPrimitive(QStyle::PE_FrameFocusRect, &generic, &p2);
    p2.end();
    EXPECT_TRUE(near(frame.pixelColor(20, 0), TarnwickTheme::accent(), 30));
    EXPECT_TRUE(near(frame.pixelColor(20, 10), TarnwickTheme::surface()));
}

TEST_F(TarnwickStyleTest, InstalledItGivesTooltipsAndWindowsTheTokenPalette)
{
    QStyle* before = QApplication::style();
    const QString beforeName = before ? before->name() : QStringLiteral("Fusion");
    const QPalette beforePalette = QApplication::palette(), beforeTips = QToolTip::palette();

    TarnwickStyle::install(clock);
    EXPECT_EQ(QToolTip::palette().color(QPalette::ToolTipBase), TarnwickTheme::surfaceRaised());
    EXPECT_EQ(QToolTip::palette().color(QPalette::ToolTipText), TarnwickTheme::textPrimary());
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), TarnwickTheme::surface());
    // Combo lists and selections: a tint of the accent, not the desktop's blue, that text keeps reading on.
    const QColor selection = QApplication::palette().color(QPalette::Highlight);
    EXPECT_EQ(selection.rgb(), TarnwickTheme::accent().rgb());
    EXPECT_GE(tarnwick::test::contrastRatio(TarnwickTheme::textPrimary(),
                                            tarnwick::test::over(selection, TarnwickTheme::surface())),
              4.5);

    // The tip's panel is raised paper.
    QImage tip(30, 20, QImage::Format_ARGB32);
    tip.fill(Qt::black);
    QPainter painter(&tip);
    QStyleOption option;
    option.rect = tip.rect();
    QApplication::style()->drawPrimitive(QStyle::PE_PanelTipLabel, &option, &painter);
    painter.end();
    EXPECT_EQ(tip.pixelColor(15, 10), TarnwickTheme::surfaceRaised());

    QApplication::setStyle(QStyleFactory::create(beforeName));
    QApplication::setPalette(beforePalette);
    QToolTip::setPalette(beforeTips);
}

TEST_F(TarnwickStyleTest, MenusReserveAGutterOnlyForChecksOrIcons)
{
    QMenu plain, checkable;
    plain.setStyle(&style);
    checkable.setStyle(&style);
    for (QMenu* menu : {&plain, &checkable}) {
        menu->addAction("Open Shelf");
        menu->addAction("Settings…");
    }
    checkable.actions().first()->setCheckable(true);
    plain.ensurePolished();
    checkable.ensurePolished();
    EXPECT_EQ(checkable.sizeHint().width() - plain.sizeHint().width(), 18);

    // The first letter of a plain menu's item sits 16 px in: the inset and the text margin, no gutter.
    plain.resize(plain.sizeHint());
    QImage image(plain.size(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    plain.render(&image);
    const QRect item = plain.actionGeometry(plain.actions().first());
    int firstInk = -1;
    for (int x = 0; x < image.width() && firstInk < 0; ++x)
        for (int y = item.top(); y <= item.bottom(); ++y)
            if (qGray(image.pixel(x, y)) < 160 && x > 1) {
                firstInk = x;
                break;
            }
    EXPECT_GE(firstInk, 16);
    EXPECT_LE(firstInk, 19);
}

TEST_F(TarnwickStyleTest, CheckBoxesAreSwitchesWhoseTrackReadsAgainstTheCard)
{
    QCheckBox on("Launch at login"), off("Launch at login");
    for (QCheckBox* box : {&on, &off}) box->setStyle(&style);
    on.setChecked(true);
    EXPECT_EQ(style.pixelMetric(QStyle::PM_IndicatorWidth), TarnwickStyle::kSwitchWidth + 4);
    const QImage a = render(on), b = render(off);
    // The track's middle, away from the knob at either end.
    const int y = a.height() / 2;
    EXPECT_TRUE(near(a.pixelColor(6, y), TarnwickTheme::accent(), 10));
    const QColor offTrack = b.pixelColor(TarnwickStyle::kSwitchWidth - 4, y);
    EXPECT_FALSE(near(offTrack, TarnwickTheme::surface(), 40));

    // Composited over the card, the off track keeps 3:1.
    EXPECT_GE(tarnwick::test::contrastRatio(TarnwickStyle::switchOffTrack(), TarnwickTheme::surfaceRaised()), 3.0);
    EXPECT_GE(tarnwick::test::contrastRatio(TarnwickStyle::switchOffTrack(), TarnwickTheme::surface()), 3.0);
}

TEST_F(TarnwickStyleTest, SlidersFillWithTheAccentUpToAWhiteKnob)
{
    QSlider slider(Qt::Horizontal);
    slider.setStyle(&style);
    slider.setRange(0, 100);
    slider.setValue(50);
    slider.resize(200, 24);
    QImage image(slider.size(), QImage::Format_ARGB32);
    image.fill(TarnwickTheme::surface());
    slider.render(&image);
    // Up a column of the image: the colours it passes through.
    auto column = [&](int x, const QColor& colour, int tolerance) {
        for (int y = 0; y < image.height(); ++y)
            if (near(image.pixelColor(x, y), colour, tolerance)) return true;
        return false;
    };
    EXPECT_TRUE(column(40, TarnwickTheme::accent(), 12));
    EXPECT_TRUE(column(100, QColor(Qt::white), 4));
    EXPECT_FALSE(column(160, TarnwickTheme::accent(), 40));
}

TEST_F(TarnwickStyleTest, ComboBoxesAreFieldsOnTheGroundWithAChevronAndTheRing)
{
    QImage image(120, 30, QImage::Format_ARGB32);
    image.fill(TarnwickTheme::surfaceRaised());
    QStyleOptionComboBox option;
    option.rect = image.rect();
    option.state = QStyle::State_Enabled;
    option.subControls = QStyle::SC_All;
    option.palette = LightPalette::make();
    // A ground no stock bevel would paint, so the fill is known to be the field's.
    option.palette.setColor(QPalette::Base, QColor(0x20, 0xa0, 0x40));
    {
        QPainter painter(&image);
        style.drawComplexControl(QStyle::CC_ComboBox, &option, &painter);
    }
    EXPECT_TRUE(near(image.pixelColor(20, 15), QColor(0x20, 0xa0, 0x40)));
    // The corner is rounded away: the card shows through where a square frame would stand.
    EXPECT_TRUE(near(image.pixelColor(0, 0), TarnwickTheme::surfaceRaised()));
    // The chevron is drawn in secondary ink inside the arrow's place; no ring without focus.
    const QRect arrow = style.subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, nullptr);
    bool ink = false;
    for (int x = arrow.left(); x <= arrow.right(); ++x)
        for (int y = arrow.top(); y <= arrow.bottom(); ++y)
            ink = ink || near(image.pixelColor(x, y), TarnwickTheme::textSecondary(), 40);
    EXPECT_TRUE(ink);
    EXPECT_FALSE(near(image.pixelColor(60, 1), TarnwickTheme::accent(), 30));

    option.state |= QStyle::State_HasFocus;
    {
        QPainter painter(&image);
        style.drawComplexControl(QStyle::CC_ComboBox, &option, &painter);
    }
    EXPECT_TRUE(near(image.pixelColor(60, 0), TarnwickTheme::accent(), 30));
}

TEST_F(TarnwickStyleTest, ComboPopupRowsAreOneLineHighHoweverTallTheList)
{
    QComboBox combo;
    combo.setStyle(&style);
    combo.addItems({"1 minute", "5 minutes", "Never"});
    combo.resize(combo.sizeHint());
    combo.showPopup();
    const int row = combo.view()->visualRect(combo.model()->index(1, 0)).height();
    EXPECT_GE(row, 26);
    EXPECT_LE(row, 40);
    // Wide enough for the longest text after the row's insets and check gutter (34 px before the
    // text, 16 after), as the field is for its label.
    const int longest = combo.fontMetrics().horizontalAdvance("5 minutes");
    EXPECT_GE(combo.view()->viewport()->width(), longest + 34 + 16);
    combo.hidePopup();

    // The size a combo hands in is the list's, not the item's.
    QStyleOptionMenuItem item;
    item.initFrom(&combo);
    item.menuItemType = QStyleOptionMenuItem::Normal;
    item.text = "5 minutes";
    EXPECT_LE(style.sizeFromContents(QStyle::CT_MenuItem, &item, QSize(140, 600), &combo).height(), 40);
}

TEST_F(TarnwickStyleTest, EveryScrolledPageGetsTheOverlayBarOnce)
{
    QScrollArea page;
    page.setStyle(&style);
    style.polish(&page);
    style.polish(&page);
    EXPECT_EQ(page.findChildren<OverlayScrollBar*>(QString(), Qt::FindDirectChildrenOnly).size(), 1);
    EXPECT_EQ(page.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);

    // An area that shows no bar on purpose, and a popup's list, keep what they have.
    QListWidget bare;
    bare.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    style.polish(&bare);
    EXPECT_TRUE(bare.findChildren<OverlayScrollBar*>().isEmpty());
    QListWidget popup(nullptr);
    popup.setWindowFlags(Qt::Popup);
    style.polish(&popup);
    EXPECT_TRUE(popup.findChildren<OverlayScrollBar*>().isEmpty());
}

}  // namespace
