#include "windows/DeckRootView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "design/Symbols.h"
#include "design/TarnwickTheme.h"
#include "design/TarnwickType.h"
#include "model/Note.h"
#include "model/NoteNotifications.h"
#include "platform/NotificationCenter.h"
#include "store/NoteStore.h"
#include "windows/DeckModel.h"
#include "windows/FloatingNotePanel.h"

namespace {

QString objectOf(const Note& note)
{
    return note.uuid().toString(QUuid::WithoutBraces).toUpper();
}

void fillCard(QPainter& painter, const QRectF& rect, const QColor& colour, bool translucent)
{
    if (!translucent) {
        painter.fillRect(rect, colour);
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(rect, FloatingNotePanel::cornerRadius, FloatingNotePanel::cornerRadius);
    painter.fillPath(path, colour);
}

}  // namespace

PlaceholderNoteCard::PlaceholderNoteCard(NoteStore& store, bool translucent, QWidget* parent)
    : DeckCard(parent), m_store(store), m_translucent(translucent)
{
    if (translucent) setAttribute(Qt::WA_TranslucentBackground);
}

QString PlaceholderNoteCard::shownTitle(const Note& note)
{
    return note.isLocked() ? note.lockedTitle() : note.displayTitle();
}

void PlaceholderNoteCard::setNote(Note* note)
{
    m_note = note;
    update();
}

void PlaceholderNoteCard::setActive(bool active)
{
    if (m_active == active) return;
    m_active = active;
    update();
}

void PlaceholderNoteCard::setWindowOpacity(double opacity)
{
    m_opacity = opacity;
    update();
}

void PlaceholderNoteCard::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QColor paper = m_note ? m_store.look(*m_note).theme.paper : TarnwickTheme::paper();
    // Only a compositor can show through; without one the opacity has nowhere to go.
    if (m_translucent) paper.setAlphaF(float(std::clamp(m_opacity, 0.0, 1.0)));
    fillCard(painter, rect(), paper, m_translucent);
    if (!m_note) return;
    painter.setPen(m_active ? TarnwickTheme::textPrimary() : TarnwickTheme::textSecondary());
    painter.setFont(TarnwickType::system(13, QFont::DemiBold));
    const QRect strip(16, 0, width() - 32, stripHeight);
    painter.drawText(strip, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                     painter.fontMetrics().elidedText(shownTitle(*m_note), Qt::ElideRight, strip.width()));
}

void PlaceholderNoteCard::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && event->position().y() < stripHeight) m_pressAt = event->globalPosition();
    DeckCard::mousePressEvent(event);
}

void PlaceholderNoteCard::mouseMoveEvent(QMouseEvent* event)
{
    if (m_pressAt) postDrag(event->globalPosition(), false);
    DeckCard::mouseMoveEvent(event);
}

void PlaceholderNoteCard::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_pressAt) postDrag(event->globalPosition(), true);
    m_pressAt.reset();
    DeckCard::mouseReleaseEvent(event);
}

void PlaceholderNoteCard::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (m_note && event->position().y() < stripHeight)
        m_store.notifications().post(tarnwickToggleZoom, objectOf(*m_note));
    DeckCard::mouseDoubleClickEvent(event);
}

void PlaceholderNoteCard::postDrag(const QPointF& globalPos, bool ended)
{
    if (!m_note || !m_pressAt) return;
    const QPointF d = globalPos - *m_pressAt;
    m_store.notifications().post(tarnwickDragNote, objectOf(*m_note), {{"dx", d.x()}, {"dy", d.y()}, {"ended", ended}});
}

DeckRootView::DeckRootView(DeckModel& model, CardFactory makeCard, bool translucent, QWidget* parent)
    : QWidget(parent), m_model(model), m_translucent(translucent), m_current(makeCard(this)), m_peek(makeCard(this))
{
    m_peek->setActive(false);
    m_peek->hide();
    m_current->setNote(model.note());
    m_current->setActive(model.isKey());
    m_current->setWindowOpacity(model.opacity());
    m_peek->setWindowOpacity(model.opacity());
    connect(&model, &DeckModel::noteChanged, this, [this] { m_current->setNote(m_model.note()); });
    connect(&model, &DeckModel::isKeyChanged, this, [this] { m_current->changeActive(m_model.isKey(), keyChangeMs); });
    m_current->setRolled(model.isRolled());
    connect(&model, &DeckModel::isRolledChanged, this, [this] { m_current->setRolled(m_model.isRolled()); });
    connect(&model, &DeckModel::opacityChanged, this, [this] {
        m_current->setWindowOpacity(m_model.opacity());
        m_peek->setWindowOpacity(m_model.opacity());
    });
    connect(&model, &DeckModel::peekNoteChanged, this, [this] {
        m_peek->setNote(m_model.peekNote());
        layoutCards();
    });
    for (auto signal : {&DeckModel::dragOffsetChanged, &DeckModel::peekIsTrailingChanged,
                        &DeckModel::peekIsNewNoteChanged, &DeckModel::newNotePaperChanged})
        connect(&model, signal, this, &DeckRootView::layoutCards);
    layoutCards();
}

bool DeckRootView::showsNewNoteSheet() const
{
    // A peek note wins over the sheet.
    return m_model.peekIsNewNote() && !m_model.peekNote();
}

QRect DeckRootView::newNoteSheetRect() const
{
    return QRect(int(std::lround(m_model.dragOffset())) + width(), 0, width(), height());
}

void DeckRootView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutCards();
}

void DeckRootView::layoutCards()
{
    const int w = width(), h = height();
    const int offset = int(std::lround(m_model.dragOffset()));
    m_current->setGeometry(offset, 0, w, h);
    if (m_model.peekNote()) {
        m_peek->setGeometry(offset + (m_model.peekIsTrailing() ? w : -w), 0, w, h);
        m_peek->show();
    } else {
        m_peek->hide();
    }
    m_current->raise();
    update();
}

void DeckRootView::paintEvent(QPaintEvent*)
{
    if (!showsNewNoteSheet()) return;
    QPainter painter(this);
    const QRect sheet = newNoteSheetRect();
    fillCard(painter, sheet, m_model.newNotePaper(), m_translucent);
    const QIcon plus = Symbols::tinted(QStringLiteral("plus"), TarnwickTheme::textTertiary(), 22);
    plus.paint(&painter, QRect(sheet.center() - QPoint(11, 11), QSize(22, 22)));
}
