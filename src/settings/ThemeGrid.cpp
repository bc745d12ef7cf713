#include "settings/ThemeGrid.h"

#include <QAccessible>
#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QToolTip>
#include <algorithm>
#include <cmath>

#include "design/PlainText.h"
#include "design/Symbols.h"
#include "design/TarnwickTheme.h"
#include "design/TarnwickType.h"
#include "settings/ThemeGridAccessible.h"

namespace {

constexpr int kLabelGap = 4;
constexpr qreal kCorner = 7;

const QFont& nameFont()
{
    static const QFont font = TarnwickType::system(10);
    return font;
}

QFont sampleFont(const ResolvedNoteTheme& theme)
{
    if (theme.fontFamily && !theme.fontFamily->isEmpty()) {
        QFont font(*theme.fontFamily);
        font.setPointSizeF(TarnwickType::pointSize(13));
        return font;
    }
    return TarnwickType::system(13, QFont::Medium);
}

}  // namespace

ThemeGrid::ThemeGrid(QWidget* parent) : QWidget(parent)
{
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setAttribute(Qt::WA_Hover);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    // Before anything asks for the grid's accessible interface (setting the name does, when a screen
    // reader listens): an interface made without the factory would have no tiles, and it is kept.
    ThemeGridAccessible::install();
    setAccessibleName(QStringLiteral("Themes"));
}

ThemeGrid::~ThemeGrid() = default;

void ThemeGrid::setThemes(const QVector<ResolvedNoteTheme>& themes)
{
    if (themes == m_themes) return;
    m_themes = themes;
    m_sampleFonts.clear();
    m_sampleFonts.reserve(m_themes.size());
    for (const auto& theme : m_themes) m_sampleFonts.push_back(sampleFont(theme));
    themesChanged();
}

void ThemeGrid::setSelectedID(const QString& id)
{
    if (id == m_selectedID) return;
    m_selectedID = id;
    update();
}

void ThemeGrid::setOnPick(std::function<void(const QString&)> onPick)
{
    m_onPick = std::move(onPick);
}

void ThemeGrid::setOnEdit(std::function<void(const QString&)> onEdit)
{
    m_onEdit = std::move(onEdit);
}

void ThemeGrid::setOnCreate(std::function<void()> onCreate)
{
    const bool had = hasCustomTile();
    m_onCreate = std::move(onCreate);
    if (had != hasCustomTile()) themesChanged();
}

void ThemeGrid::themesChanged()
{
    m_clicks.forgetPress();
    if (m_currentCell >= cellCount()) m_currentCell = cellCount() - 1;
    updateGeometry();
    update();
}

int ThemeGrid::columnsFor(int width)
{
    return std::max(1, (width + kSpacing) / (kMinColumnWidth + kSpacing));
}

int ThemeGrid::cellCount() const
{
    return int(m_themes.size()) + (hasCustomTile() ? 1 : 0);
}

int ThemeGrid::cellHeight() const
{
    return kSwatchHeight + kLabelGap + QFontMetrics(nameFont()).height();
}

QRect ThemeGrid::cellRect(int cell) const
{
    // Columns share the whole width; the remainder of the division is spread over them.
    const int columns = columnsFor(width());
    const double step = double(width() + kSpacing) / columns;
    const int row = cell / columns;
    const int column = cell % columns;
    const int left = int(std::lround(column * step));
    const int right = int(std::lround((column + 1) * step)) - kSpacing;
    return {left, row * (cellHeight() + kSpacing), std::max(1, right - left), cellHeight()};
}

int ThemeGrid::cellAt(const QPoint& pos) const
{
    if (pos.x() < 0 || pos.y() < 0 || pos.x() >= width()) return -1;
    const int columns = columnsFor(width());
    const double step = double(width() + kSpacing) / columns;
    const int column = std::min(columns - 1, int(pos.x() / step));
    const int row = pos.y() / (cellHeight() + kSpacing);
    const int cell = row * columns + column;
    if (cell >= cellCount() || !cellRect(cell).contains(pos)) return -1;
    return cell;
}

QString ThemeGrid::toolTipFor(int cell) const
{
    if (cell < 0 || cell >= cellCount()) return {};
    const int index = themeIndex(cell);
    if (index < 0) return QStringLiteral("A colour of your own");
    return PlainText::toolTip(m_themes[index].name);
}

QString ThemeGrid::accessibleNameFor(int cell) const
{
    if (cell < 0 || cell >= cellCount()) return {};
    const int index = themeIndex(cell);
    return index < 0 ? QStringLiteral("Create a custom theme") : m_themes[index].name;
}

int ThemeGrid::heightForWidth(int width) const
{
    const int count = cellCount();
    if (count == 0) return 0;
    const int rows = (count + columnsFor(width) - 1) / columnsFor(width);
    return rows * cellHeight() + (rows - 1) * kSpacing;
}

QSize ThemeGrid::sizeHint() const
{
    const int w = std::max(width(), 4 * kMinColumnWidth + 3 * kSpacing);
    return {w, heightForWidth(w)};
}

QSize ThemeGrid::minimumSizeHint() const
{
    return {kMinColumnWidth, 0};
}

void ThemeGrid::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QRect dirty = event->rect();
    for (int cell = 0; cell < cellCount(); ++cell) {
        const QRect rect = cellRect(cell);
        if (!rect.intersects(dirty)) continue;
        const int index = themeIndex(cell);
        if (index < 0)
            paintCustom(p, rect);
        else
            paintTheme(p, rect, m_themes[index], m_sampleFonts[index]);
    }
    if (hasFocus() && m_currentCell >= 0 && m_currentCell < cellCount()) {
        // The keyboard's place: a ring in the accent around the swatch, clear of the selection border.
        const QRect cell = cellRect(m_currentCell);
        const QRectF swatch(cell.left(), cell.top(), cell.width(), kSwatchHeight);
        QColor ring = TarnwickTheme::accent();
        ring.setAlphaF(0.6);
        p.setPen(QPen(ring, 2));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(swatch.adjusted(-2, -2, 2, 2), kCorner + 2, kCorner + 2);
    }
}

void ThemeGrid::paintTheme(QPainter& p, const QRect& cell, const ResolvedNoteTheme& theme, const QFont& sample) const
{
    const bool selected = theme.id == m_selectedID;
    const QRectF swatch(cell.left(), cell.top(), cell.width(), kSwatchHeight);
    QPainterPath outline;
    outline.addRoundedRect(swatch, kCorner, kCorner);
    p.fillPath(outline, theme.paper);
    p.setFont(sample);
    p.setPen(theme.ink);
    p.drawText(swatch, Qt::AlignCenter, QStringLiteral("Aa"));
    // The border lies inside the outline: inset by half its width.
    const qreal borderWidth = selected ? 2 : 1;
    const qreal inset = borderWidth / 2;
    p.setPen(QPen(selected ? TarnwickTheme::accent() : TarnwickTheme::hairline(), borderWidth));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(swatch.adjusted(inset, inset, -inset, -inset), kCorner - inset, kCorner - inset);

    p.setFont(nameFont());
    p.setPen(selected ? TarnwickTheme::textPrimary() : TarnwickTheme::textSecondary());
    const QRect nameRect(cell.left(), cell.top() + kSwatchHeight + kLabelGap, cell.width(),
                         cell.height() - kSwatchHeight - kLabelGap);
    const QString name = QFontMetrics(nameFont()).elidedText(theme.name, Qt::ElideRight, cell.width());
    p.drawText(nameRect, Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, name);
}

void ThemeGrid::paintCustom(QPainter& p, const QRect& cell) const
{
    const QRectF swatch(cell.left(), cell.top(), cell.width(), kSwatchHeight);
    QColor dash = TarnwickTheme::accent();
    dash.setAlphaF(0.55);
    QPen pen(dash, 1);
    pen.setDashPattern({3, 2});
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(swatch.adjusted(0.5, 0.5, -0.5, -0.5), kCorner - 0.5, kCorner - 0.5);
    static const QIcon plus = Symbols::tinted(QStringLiteral("plus"), TarnwickTheme::accent(), 11);
    const QPoint centre = swatch.center().toPoint();
    plus.paint(&p, QRect(centre.x() - 6, centre.y() - 6, 12, 12));

    p.setFont(nameFont());
    p.setPen(TarnwickTheme::accentInk());
    const QRect nameRect(cell.left(), cell.top() + kSwatchHeight + kLabelGap, cell.width(),
                         cell.height() - kSwatchHeight - kLabelGap);
    p.drawText(nameRect, Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, QStringLiteral("Custom"));
}

void ThemeGrid::mousePressEvent(QMouseEvent* event)
{
    const int cell = event->button() == Qt::LeftButton ? cellAt(event->position().toPoint()) : -1;
    m_clicks.press(cell >= 0 ? QVariant(cell) : QVariant(), *event);
    event->accept();
}

void ThemeGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The first click acted already (a theme made from the Custom tile moves the tiles): the second
    // acts on nothing, nor does a third that follows it.
    m_clicks.doublePress(*event);
    event->accept();
}

void ThemeGrid::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return;
    const int cell = cellAt(event->position().toPoint());
    if (cell < 0 || !m_clicks.release(QVariant(cell))) return;
    activateCell(cell);
}

void ThemeGrid::activateCell(int cell)
{
    if (cell < 0 || cell >= cellCount()) return;
    const int index = themeIndex(cell);
    // Copy what the action needs: the caller may rebuild the list from inside it.
    if (index < 0) {
        if (auto onCreate = m_onCreate) onCreate();
    } else if (auto onPick = m_onPick) {
        onPick(QString(m_themes[index].id));
    }
}

void ThemeGrid::contextMenuEvent(QContextMenuEvent* event)
{
    const int cell = cellAt(event->pos());
    if (!m_onEdit || cell < 0 || themeIndex(cell) < 0) {
        event->ignore();
        return;
    }
    const QString id = m_themes[themeIndex(cell)].id;
    QMenu menu(this);
    QAction* edit = menu.addAction(QStringLiteral("Edit…"));
    if (menu.exec(event->globalPos()) == edit && m_onEdit) {
        auto onEdit = m_onEdit;
        onEdit(id);
    }
}

int ThemeGrid::selectedCell() const
{
    for (int i = 0; i < m_themes.size(); ++i)
        if (m_themes[i].id == m_selectedID) return i + (hasCustomTile() ? 1 : 0);
    return -1;
}

void ThemeGrid::setCurrentCell(int cell)
{
    cell = cellCount() == 0 ? -1 : std::clamp(cell, 0, cellCount() - 1);
    if (cell == m_currentCell) return;
    m_currentCell = cell;
    update();
    // In a scrolling palette the keyboard's tile is kept in view.
    auto* area = qobject_cast<QScrollArea*>(parentWidget() ? parentWidget()->parentWidget() : nullptr);
    if (area && cell >= 0) {
        const QRect rect = cellRect(cell);
        area->ensureVisible(rect.center().x(), rect.center().y(), 0, rect.height() / 2 + kSpacing);
    }
    if (cell >= 0 && hasFocus()) {
        QAccessibleEvent focus(this, QAccessible::Focus);
        focus.setChild(cell);
        QAccessible::updateAccessibility(&focus);
    }
}

void ThemeGrid::focusInEvent(QFocusEvent* event)
{
    // The keyboard starts on the selected tile.
    if (m_currentCell < 0) {
        const int selected = selectedCell();
        setCurrentCell(selected >= 0 ? selected : 0);
    }
    QWidget::focusInEvent(event);
    update();
    if (m_currentCell >= 0) {
        QAccessibleEvent focus(this, QAccessible::Focus);
        focus.setChild(m_currentCell);
        QAccessible::updateAccessibility(&focus);
    }
}

void ThemeGrid::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    update();
}

void ThemeGrid::keyPressEvent(QKeyEvent* event)
{
    const int count = cellCount();
    if (count == 0 || event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return QWidget::keyPressEvent(event);
    const int columns = columnsFor(width());
    const int current = std::max(0, m_currentCell);
    switch (event->key()) {
        case Qt::Key_Left:
            setCurrentCell(current - 1);
            break;
        case Qt::Key_Right:
            setCurrentCell(current + 1);
            break;
        case Qt::Key_Up:
            if (current - columns >= 0) setCurrentCell(current - columns);
            break;
        case Qt::Key_Down:
            if (current + columns < count) setCurrentCell(current + columns);
            break;
        case Qt::Key_Home:
            setCurrentCell(0);
            break;
        case Qt::Key_End:
            setCurrentCell(count - 1);
            break;
        case Qt::Key_Space:
            if (!event->isAutoRepeat()) activateCell(current);
            break;
        default:
            return QWidget::keyPressEvent(event);
    }
    event->accept();
}

bool ThemeGrid::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int cell = cellAt(help->pos());
        if (cell < 0)
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), toolTipFor(cell), this, cellRect(cell));
        return true;
    }
    return QWidget::event(event);
}
