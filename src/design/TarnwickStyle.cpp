#include "design/TarnwickStyle.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QComboBox>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QStyleFactory>
#include <QStyleOption>
#include <QToolTip>
#include <algorithm>

#include "design/LightPalette.h"
#include "design/OverlayScrollBar.h"
#include "design/Symbols.h"
#include "design/TarnwickPrimaryButtonStyle.h"
#include "design/TarnwickQuietButtonStyle.h"
#include "design/TarnwickTheme.h"
#include "design/TarnwickType.h"
#include "platform/Clock.h"

namespace {

constexpr int kMenuItemHeight = 26;
constexpr int kMenuSideInset = 4;   // the highlight stands this far in from the menu's edges
constexpr int kMenuTextInset = 12;  // text from the highlight's edge
constexpr int kMenuGutter = 18;     // only in menus with checkable items or icons
constexpr int kMenuShortcutGap = 24;
constexpr int kMenuArrow = 14;
constexpr int kSliderHandle = 16;
constexpr int kSliderGroove = 4;
constexpr int kTabExtraPadding = 16;

QColor withAlpha(QColor colour, qreal alpha)
{
    colour.setAlphaF(float(colour.alphaF() * alpha));
    return colour;
}

// A line as dark as the controls' marks need (3:1) against the paper.
QColor controlLine()
{
    return withAlpha(TarnwickTheme::textPrimary(), 0.55);
}

bool isPopupOrTip(const QWidget* widget)
{
    if (!widget) return false;
    const Qt::WindowType type = widget->window()->windowType();
    return type == Qt::Popup || type == Qt::ToolTip;
}

}  // namespace

TarnwickStyle::TarnwickStyle(Clock& clock)
    : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))), m_clock(clock)
{
}

void TarnwickStyle::install(Clock& clock)
{
    QApplication::setStyle(new TarnwickStyle(clock));
    QApplication::setPalette(LightPalette::make());
    QToolTip::setPalette(toolTipPalette());
}

QPalette TarnwickStyle::toolTipPalette()
{
    QPalette palette = LightPalette::make();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::ToolTipBase, TarnwickTheme::surfaceRaised());
        palette.setColor(group, QPalette::ToolTipText, TarnwickTheme::textPrimary());
        palette.setColor(group, QPalette::Window, TarnwickTheme::surfaceRaised());
        palette.setColor(group, QPalette::WindowText, TarnwickTheme::textPrimary());
    }
    return palette;
}

ButtonLook TarnwickStyle::pushButtonLook(const QStyleOptionButton& option, bool pressed)
{
    const bool enabled = option.state & QStyle::State_Enabled;
    ButtonLook look;
    if (option.features & QStyleOptionButton::DefaultButton) {
        look = TarnwickPrimaryButtonStyle{enabled, false, kPushButtonHeight, kPushButtonRadius}.makeBody(pressed);
    } else {
        look = TarnwickQuietButtonStyle{}.makeBody(pressed);
        look.height = kPushButtonHeight;
        look.cornerRadius = kPushButtonRadius;
        if (!(option.features & QStyleOptionButton::Flat)) {
            // A resting fill and primary ink: on the fill the quiet grey would fall under 4.5:1.
            look.foreground = TarnwickTheme::textPrimary();
            look.background = pressed ? TarnwickTheme::fill().darker(108) : TarnwickTheme::fill();
        }
        if (!enabled) look.foreground = TarnwickTheme::textTertiary();
    }
    return look;
}

QColor TarnwickStyle::focusRingColor()
{
    return TarnwickTheme::accent();
}

void TarnwickStyle::drawFocusRing(QPainter& painter, const QRectF& rect, qreal radius)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPen ring(focusRingColor(), kFocusRingWidth);
    painter.setPen(ring);
    painter.setBrush(Qt::NoBrush);
    const qreal out = kFocusRingWidth / 2;
    painter.drawRoundedRect(rect.adjusted(-out, -out, out, out), radius + out, radius + out);
    painter.restore();
}

QColor TarnwickStyle::switchOffTrack()
{
    return controlLine();
}

void TarnwickStyle::drawSwitch(QPainter& painter, const QRectF& track, bool on, bool enabled, bool focused)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    // Faded, not recoloured: a disabled switch keeps its state readable but plainly differs.
    if (!enabled) painter.setOpacity(0.4);
    const qreal radius = track.height() / 2;
    painter.setPen(Qt::NoPen);
    painter.setBrush(on ? TarnwickTheme::accent() : switchOffTrack());
    painter.drawRoundedRect(track, radius, radius);
    const qreal knob = track.height() - 4;
    const qreal x = on ? track.right() - 2 - knob : track.left() + 2;
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(x, track.top() + 2, knob, knob));
    painter.restore();
    if (focused && enabled) drawFocusRing(painter, track.adjusted(-1, -1, 1, 1), radius + 1);
}

void TarnwickStyle::polish(QWidget* widget)
{
    QProxyStyle::polish(widget);
    // Every scrolled page gets the overlay bar, so content keeps its insets whether or not it
    // scrolls; popups (combo lists) and areas that show no bar keep what they have.
    auto* area = qobject_cast<QAbstractScrollArea*>(widget);
    if (area && !isPopupOrTip(area) && area->verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOff &&
        !area->findChild<OverlayScrollBar*>(QString(), Qt::FindDirectChildrenOnly))
        OverlayScrollBar::install(area, m_clock);
    if (qobject_cast<QPushButton*>(widget)) widget->setAttribute(Qt::WA_Hover, false);
}

void TarnwickStyle::polish(QPalette& palette)
{
    palette = LightPalette::make();
}

void TarnwickStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                  const QWidget* widget) const
{
    switch (element) {
        case PE_FrameFocusRect:
            drawFocusRing(*painter, QRectF(option->rect).adjusted(1, 1, -1, -1), 4);
            return;
        case PE_PanelTipLabel: {
            painter->save();
            painter->setRenderHint(QPainter::Antialiasing);
            painter->setPen(QPen(withAlpha(TarnwickTheme::textPrimary(), 0.18), 1));
            painter->setBrush(TarnwickTheme::surfaceRaised());
            painter->drawRect(QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5));
            painter->restore();
            return;
        }
        case PE_PanelMenu:
        case PE_FrameMenu: {
            painter->save();
            painter->setPen(QPen(withAlpha(TarnwickTheme::textPrimary(), 0.18), 1));
            painter->setBrush(element == PE_PanelMenu ? QBrush(TarnwickTheme::surfaceRaised()) : Qt::NoBrush);
            painter->drawRect(QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5));
            painter->restore();
            return;
        }
        case PE_IndicatorCheckBox: {
            const QRectF box(option->rect);
            const QRectF track(box.left() + (box.width() - kSwitchWidth) / 2,
                               box.top() + (box.height() - kSwitchHeight) / 2, kSwitchWidth, kSwitchHeight);
            const bool on = option->state & (State_On | State_NoChange);
            drawSwitch(*painter, track, on, option->state & State_Enabled, false);
            return;
        }
        case PE_FrameLineEdit: {
            painter->save();
            painter->setRenderHint(QPainter::Antialiasing);
            const QRectF frame = QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5);
            painter->setPen(QPen(controlLine(), 1));
            painter->setBrush(Qt::NoBrush);
            painter->drawRoundedRect(frame, 5, 5);
            painter->restore();
            if ((option->state & State_HasFocus) && (option->state & State_Enabled))
                drawFocusRing(*painter, QRectF(option->rect).adjusted(1, 1, -1, -1), 4);
            return;
        }
        default:
            break;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

void TarnwickStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                                const QWidget* widget) const
{
    switch (element) {
        case CE_PushButtonBevel:
            if (const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option)) {
                const bool pressed = button->state & (State_Sunken | State_On);
                const ButtonLook look = pushButtonLook(*button, pressed);
                const QRectF body =
                    QRectF(button->rect).adjusted(kFocusRingWidth, kFocusRingWidth, -kFocusRingWidth, -kFocusRingWidth);
                painter->save();
                painter->setRenderHint(QPainter::Antialiasing);
                painter->setOpacity(look.opacity);
                painter->translate(body.center());
                painter->scale(look.scale, look.scale);
                painter->translate(-body.center());
                painter->setPen(Qt::NoPen);
                painter->setBrush(look.background);
                painter->drawRoundedRect(body, look.cornerRadius, look.cornerRadius);
                painter->restore();
                if (button->state & State_HasFocus) {
                    drawFocusRing(*painter, body, look.cornerRadius);
                    // On a filled button the accent ring would melt into the accent body: a line of
                    // the page's paper between them keeps the ring plain to see.
                    if (button->features & QStyleOptionButton::DefaultButton) {
                        painter->save();
                        painter->setRenderHint(QPainter::Antialiasing);
                        painter->setPen(QPen(TarnwickTheme::onInk(), 1.5));
                        painter->setBrush(Qt::NoBrush);
                        painter->drawRoundedRect(body.adjusted(0.75, 0.75, -0.75, -0.75), look.cornerRadius - 0.75,
                                                 look.cornerRadius - 0.75);
                        painter->restore();
                    }
                }
                return;
            }
            break;
        case CE_PushButtonLabel:
            if (const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option)) {
                ButtonLook look = pushButtonLook(*button, button->state & (State_Sunken | State_On));
                // A flat button given a text colour of its own (a red "Revoke") is drawn in it, not in
                // the quiet grey; disabled, it greys as every button does.
                if ((button->features & QStyleOptionButton::Flat) && (button->state & State_Enabled) && widget &&
                    widget->testAttribute(Qt::WA_SetPalette) &&
                    button->palette.color(QPalette::ButtonText) !=
                        QApplication::palette(widget).color(QPalette::ButtonText))
                    look.foreground = button->palette.color(QPalette::ButtonText);
                painter->save();
                painter->setFont(look.font);
                painter->setPen(look.foreground);
                QRect text = button->rect;
                if (!button->icon.isNull()) {
                    const QSize iconSize = button->iconSize;
                    const int textWidth = QFontMetrics(look.font).horizontalAdvance(button->text);
                    const int whole = iconSize.width() + (button->text.isEmpty() ? 0 : 6 + textWidth);
                    const int left = button->rect.center().x() - whole / 2;
                    const QRect iconRect(left, button->rect.center().y() - iconSize.height() / 2, iconSize.width(),
                                         iconSize.height());
                    button->icon.paint(painter, iconRect, Qt::AlignCenter,
                                       button->state & State_Enabled ? QIcon::Normal : QIcon::Disabled);
                    text.setLeft(iconRect.right() + 7);
                    painter->drawText(text, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextShowMnemonic, button->text);
                } else {
                    painter->drawText(text, Qt::AlignCenter | Qt::TextShowMnemonic, button->text);
                }
                painter->restore();
                return;
            }
            break;
        case CE_MenuItem:
            drawMenuItem(option, painter, widget);
            return;
        case CE_MenuEmptyArea:
            painter->fillRect(option->rect, TarnwickTheme::surfaceRaised());
            return;
        default:
            break;
    }
    QProxyStyle::drawControl(element, option, painter, widget);
}

void TarnwickStyle::drawMenuItem(const QStyleOption* option, QPainter* painter, const QWidget* widget) const
{
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (!item) return QProxyStyle::drawControl(CE_MenuItem, option, painter, widget);
    painter->save();
    painter->fillRect(item->rect, TarnwickTheme::surfaceRaised());
    if (item->menuItemType == QStyleOptionMenuItem::Separator) {
        const int y = item->rect.center().y();
        painter->setPen(QPen(withAlpha(TarnwickTheme::textPrimary(), 0.12), 1));
        painter->drawLine(item->rect.left() + kMenuSideInset + 8, y, item->rect.right() - kMenuSideInset - 8, y);
        painter->restore();
        return;
    }
    const bool enabled = item->state & State_Enabled;
    const bool selected = enabled && (item->state & State_Selected);
    const QRectF highlight = QRectF(item->rect).adjusted(kMenuSideInset, 1, -kMenuSideInset, -1);
    if (selected) {
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(Qt::NoPen);
        painter->setBrush(TarnwickTheme::accentWash());
        painter->drawRoundedRect(highlight, 5, 5);
    }
    const QColor ink = enabled ? TarnwickTheme::textPrimary() : TarnwickTheme::textTertiary();
    int x = int(highlight.left()) + kMenuTextInset;
    // The gutter only where something can stand in it: a check mark or an icon.
    const bool gutter = item->menuHasCheckableItems || item->maxIconWidth > 0;
    if (gutter) {
        const QRect slot(x, item->rect.top(), kMenuGutter, item->rect.height());
        if (!item->icon.isNull()) {
            const int side = std::min(16, slot.height() - 4);
            item->icon.paint(painter, QRect(slot.left(), slot.center().y() - side / 2, side, side), Qt::AlignCenter,
                             enabled ? QIcon::Normal : QIcon::Disabled);
        } else if (item->checkType != QStyleOptionMenuItem::NotCheckable && item->checked) {
            painter->setRenderHint(QPainter::Antialiasing);
            QPen pen(ink, 1.6);
            pen.setCapStyle(Qt::RoundCap);
            pen.setJoinStyle(Qt::RoundJoin);
            painter->setPen(pen);
            const QPointF c(slot.left() + 6, slot.center().y());
            QPainterPath check;
            check.moveTo(c + QPointF(-3.5, 0));
            check.lineTo(c + QPointF(-1, 3));
            check.lineTo(c + QPointF(4, -3.5));
            painter->drawPath(check);
        }
        x += kMenuGutter;
    }
    QString text = item->text;
    QString shortcut;
    if (const qsizetype tab = text.indexOf(u'\t'); tab >= 0) {
        shortcut = text.mid(tab + 1);
        text.truncate(tab);
    }
    int right = int(highlight.right()) - kMenuTextInset;
    if (item->menuItemType == QStyleOptionMenuItem::SubMenu) {
        QStyleOption arrow(*item);
        arrow.rect = QRect(right - kMenuArrow + 4, item->rect.center().y() - 5, 10, 10);
        arrow.palette.setColor(QPalette::ButtonText, TarnwickTheme::textSecondary());
        arrow.palette.setColor(QPalette::WindowText, TarnwickTheme::textSecondary());
        QProxyStyle::drawPrimitive(PE_IndicatorArrowRight, &arrow, painter, widget);
        right -= kMenuArrow;
    }
    painter->setFont(item->font);
    if (!shortcut.isEmpty()) {
        painter->setPen(enabled ? TarnwickTheme::textSecondary() : TarnwickTheme::textTertiary());
        painter->drawText(QRect(x, item->rect.top(), right - x, item->rect.height()), Qt::AlignVCenter | Qt::AlignRight,
                          shortcut);
    }
    painter->setPen(ink);
    const int flags = Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine |
                      (styleHint(SH_UnderlineShortcut, item, widget) ? Qt::TextShowMnemonic : Qt::TextHideMnemonic);
    painter->drawText(QRect(x, item->rect.top(), right - x, item->rect.height()), flags, text);
    painter->restore();
}

void TarnwickStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                                       const QWidget* widget) const
{
    if (control == CC_Slider) {
        const auto* slider = qstyleoption_cast<const QStyleOptionSlider*>(option);
        if (slider && slider->orientation == Qt::Horizontal) return drawSlider(option, painter, widget);
    }
    if (control == CC_ComboBox) {
        if (const auto* combo = qstyleoption_cast<const QStyleOptionComboBox*>(option))
            return drawComboBox(*combo, painter, widget);
    }
    QProxyStyle::drawComplexControl(control, option, painter, widget);
}

// A combo box is a field like a line edit (the same rounded frame on the page's ground) with a
// chevron, not the stock bevelled button with its triangle.
void TarnwickStyle::drawComboBox(const QStyleOptionComboBox& combo, QPainter* painter, const QWidget* widget) const
{
    const bool enabled = combo.state & State_Enabled;
    const QRectF frame = QRectF(combo.rect).adjusted(0.5, 0.5, -0.5, -0.5);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    if (!enabled) painter->setOpacity(0.5);
    painter->setPen(QPen(controlLine(), 1));
    painter->setBrush(combo.palette.brush(QPalette::Base));
    painter->drawRoundedRect(frame, 5, 5);
    const QRectF arrow = subControlRect(CC_ComboBox, &combo, SC_ComboBoxArrow, widget);
    const QPointF middle = arrow.center();
    QPainterPath chevron;
    chevron.moveTo(middle + QPointF(-3.5, -1.75));
    chevron.lineTo(middle + QPointF(0, 1.75));
    chevron.lineTo(middle + QPointF(3.5, -1.75));
    painter->setPen(QPen(TarnwickTheme::textSecondary(), 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter->setBrush(Qt::NoBrush);
    painter->drawPath(chevron);
    painter->restore();
    if ((combo.state & State_HasFocus) && enabled)
        drawFocusRing(*painter, QRectF(combo.rect).adjusted(1, 1, -1, -1), 4);
}

void TarnwickStyle::drawSlider(const QStyleOptionComplex* option, QPainter* painter, const QWidget* widget) const
{
    const auto* slider = qstyleoption_cast<const QStyleOptionSlider*>(option);
    const QRect handle = subControlRect(CC_Slider, slider, SC_SliderHandle, widget);
    const QRect groove = subControlRect(CC_Slider, slider, SC_SliderGroove, widget);
    const bool enabled = slider->state & State_Enabled;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    if (!enabled) painter->setOpacity(0.4);
    const qreal y = handle.center().y() + 0.5 - kSliderGroove / 2.0;
    const QRectF track(groove.left() + kSliderHandle / 2.0, y, groove.width() - kSliderHandle, kSliderGroove);
    painter->setPen(Qt::NoPen);
    painter->setBrush(withAlpha(TarnwickTheme::textPrimary(), 0.18));
    painter->drawRoundedRect(track, kSliderGroove / 2.0, kSliderGroove / 2.0);
    const bool reversed = slider->upsideDown;
    const qreal middle = handle.center().x() + 0.5;
    const QRectF filled = reversed ? QRectF(QPointF(middle, track.top()), track.bottomRight())
                                   : QRectF(track.topLeft(), QPointF(middle, track.bottom()));
    painter->setBrush(TarnwickTheme::accent());
    painter->drawRoundedRect(filled, kSliderGroove / 2.0, kSliderGroove / 2.0);
    const QRectF knob(handle.center().x() + 0.5 - kSliderHandle / 2.0, handle.center().y() + 0.5 - kSliderHandle / 2.0,
                      kSliderHandle, kSliderHandle);
    painter->setPen(QPen(controlLine(), 1));
    painter->setBrush(Qt::white);
    painter->drawEllipse(knob.adjusted(0.5, 0.5, -0.5, -0.5));
    painter->restore();
    if ((slider->state & State_HasFocus) && enabled) drawFocusRing(*painter, knob, kSliderHandle / 2.0);
}

QRect TarnwickStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                                    const QWidget* widget) const
{
    const QRect rect = QProxyStyle::subControlRect(control, option, sub, widget);
    if (control != CC_ComboBox || sub != SC_ComboBoxListBoxPopup) return rect;
    // The popup's rows keep the menus' insets and check gutter, more than the field keeps around its
    // label: the popup reaches out so its texts stand where the label does and fit as the label does.
    const QRect field = QProxyStyle::subControlRect(CC_ComboBox, option, SC_ComboBoxEditField, widget);
    const int left = std::max(0, kMenuSideInset + kMenuTextInset + kMenuGutter - (field.left() - option->rect.left()));
    const int right = std::max(0, kMenuSideInset + kMenuTextInset - (option->rect.right() - field.right()));
    return rect.adjusted(-left, 0, right, 0);
}

QSize TarnwickStyle::sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                                      const QWidget* widget) const
{
    switch (type) {
        case CT_PushButton:
            if (const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option)) {
                const ButtonLook look = pushButtonLook(*button, false);
                const QFontMetrics metrics(look.font);
                int width = metrics.horizontalAdvance(QString(button->text).remove(u'&'));
                if (!button->icon.isNull()) width += button->iconSize.width() + (button->text.isEmpty() ? 0 : 7);
                width += 2 * int(look.horizontalPadding) + 2 * int(kFocusRingWidth);
                return {width, int(look.height) + 2 * int(kFocusRingWidth)};
            }
            break;
        case CT_MenuItem:
            if (const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option)) {
                // A combo box's popup hands in the whole list's size, not the item's contents: the
                // base style measures its items from their text.
                if (qobject_cast<const QComboBox*>(widget)) {
                    const QSize base = QProxyStyle::sizeFromContents(type, option, size, widget);
                    return {base.width(), std::max(kMenuItemHeight, base.height())};
                }
                if (item->menuItemType == QStyleOptionMenuItem::Separator) return {size.width(), 9};
                int width = size.width() + 2 * (kMenuSideInset + kMenuTextInset);
                if (item->menuHasCheckableItems || item->maxIconWidth > 0) width += kMenuGutter;
                if (item->text.contains(u'\t') || item->reservedShortcutWidth > 0) width += kMenuShortcutGap;
                if (item->menuItemType == QStyleOptionMenuItem::SubMenu) width += kMenuArrow;
                return {width, std::max(kMenuItemHeight, size.height() + 8)};
            }
            break;
        case CT_TabBarTab:
            return QProxyStyle::sizeFromContents(type, option, size, widget) + QSize(kTabExtraPadding, 0);
        default:
            break;
    }
    return QProxyStyle::sizeFromContents(type, option, size, widget);
}

int TarnwickStyle::pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const
{
    switch (metric) {
        case PM_IndicatorWidth:
            return kSwitchWidth + 4;
        case PM_IndicatorHeight:
            return kSwitchHeight + 4;
        case PM_SliderLength:
        case PM_SliderControlThickness:
            return kSliderHandle;
        case PM_SliderThickness:
            return kSliderHandle + 4;
        case PM_MenuPanelWidth:
            return 1;
        case PM_MenuHMargin:
            return 0;
        case PM_MenuVMargin:
            return 4;
        case PM_ToolTipLabelFrameWidth:
            return 6;
        case PM_ButtonMargin:
            return 0;
        default:
            break;
    }
    return QProxyStyle::pixelMetric(metric, option, widget);
}

int TarnwickStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                             QStyleHintReturn* returnData) const
{
    switch (hint) {
        case SH_Menu_FlashTriggeredItem:
            return 0;
        case SH_ToolTipLabel_Opacity:
            return 255;
        case SH_DialogButtonBox_ButtonsHaveIcons:  // no stock ticks and crosses on OK and Cancel
            return 0;
        default:
            break;
    }
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

QIcon TarnwickStyle::standardIcon(StandardPixmap icon, const QStyleOption* option, const QWidget* widget) const
{
    constexpr int kSize = 48;
    switch (icon) {
        case SP_MessageBoxWarning:
            return Symbols::tinted(QStringLiteral("exclamationmark.triangle.fill"), TarnwickTheme::accent(), kSize);
        case SP_MessageBoxCritical:
            return Symbols::tinted(QStringLiteral("exclamationmark.triangle.fill"), TarnwickTheme::destructive(),
                                   kSize);
        case SP_MessageBoxInformation:
            return Symbols::tinted(QStringLiteral("info.circle"), TarnwickTheme::accent(), kSize);
        case SP_MessageBoxQuestion:  // our one question asks for the password of locked notes
            return Symbols::tinted(QStringLiteral("lock.fill"), TarnwickTheme::accent(), kSize);
        default:
            break;
    }
    return QProxyStyle::standardIcon(icon, option, widget);
}
