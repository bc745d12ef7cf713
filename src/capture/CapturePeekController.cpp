#include "capture/CapturePeekController.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QDesktopServices>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QStyleHints>
#include <QTextDocument>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>
#include <optional>

#include "capture/CapsuleGeometry.h"
#include "capture/CapturePeekCard.h"
#include "design/KeyablePanel.h"
#include "design/Symbols.h"
#include "design/TarnwickTheme.h"
#include "design/TextColor.h"
#include "model/Capture.h"
#include "platform/Clock.h"
#include "platform/EwmhWindowState.h"
#include "platform/KeyScreen.h"
#include "platform/ScreenChanges.h"
#include "store/NoteStore.h"

namespace {

constexpr int kWidth = 460, kRadius = 13, kMaxTextHeight = 320;

QFont systemFont(double points, QFont::Weight weight)
{
    QFont font;
    font.setPointSizeF(points);
    font.setWeight(weight);
    return font;
}

// The card's rounded surface; the corners stay outside it.
class PeekPanel : public KeyablePanel {
public:
    PeekPanel() : KeyablePanel(nullptr, Qt::WindowStaysOnTopHint)
    {
        setAttribute(Qt::WA_TranslucentBackground);
        setAttribute(Qt::WA_DeleteOnClose);
    }
    bool composited = true;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), kRadius, kRadius);
        QColor surface = TarnwickTheme::surface();
        if (composited) surface.setAlphaF(0.94);
        p.fillPath(path, surface);
        p.setPen(QPen(TarnwickTheme::hairline(), 1));
        p.drawPath(path);
    }

    // The card moves by its background: a press that no child takes (the text, the buttons and a
    // linked chip keep theirs) starts a drag. Moved here rather than by the window manager, so the
    // card follows the pointer the same way under any manager and stays whole on the screen.
    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() != Qt::LeftButton) return KeyablePanel::mousePressEvent(event);
        m_dragPress = event->globalPosition().toPoint();
        m_dragOrigin = pos();
        event->accept();
    }
    void mouseMoveEvent(QMouseEvent* event) override
    {
        if (!m_dragPress || !(event->buttons() & Qt::LeftButton)) return KeyablePanel::mouseMoveEvent(event);
        const QPoint pointer = event->globalPosition().toPoint();
        QScreen* over = QGuiApplication::screenAt(pointer);
        if (!over) over = screen();
        const QPoint delta = pointer - *m_dragPress;
        move(over ? CapsuleGeometry::draggedOrigin(m_dragOrigin, delta, size(), over->availableGeometry())
                  : m_dragOrigin + delta);
        event->accept();
    }
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton) m_dragPress.reset();
        KeyablePanel::mouseReleaseEvent(event);
    }

private:
    std::optional<QPoint> m_dragPress;
    QPoint m_dragOrigin;
};

// "Copy", or "Copied" with a check mark for 1.4 seconds after a press.
class CopyButton : public QPushButton {
public:
    CopyButton(QString text, Clock& clock) : m_text(std::move(text)), m_clock(clock)
    {
        setAccessibleName(QStringLiteral("Copy the captured text"));
        setFont(systemFont(11.5, QFont::DemiBold));
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::NoFocus);
        setFlat(true);
        setStyleSheet(QStringLiteral("QPushButton { border: none; padding: 6px 12px; border-radius: 12px; "
                                     "background: rgba(%1,%2,%3,%4); color: %5; }")
                          .arg(TarnwickTheme::accentWash().red())
                          .arg(TarnwickTheme::accentWash().green())
                          .arg(TarnwickTheme::accentWash().blue())
                          .arg(TarnwickTheme::accentWash().alphaF())
                          .arg(TarnwickTheme::accentInk().name()));
        show(false);
        connect(this, &QPushButton::clicked, this, [this] {
            QGuiApplication::clipboard()->setText(m_text);
            show(true);
            QPointer<CopyButton> self(this);
            m_clock.after(1400, this, [self] {
                if (self) self->show(false);
            });
        });
    }
    void show(bool copied)
    {
        setText(copied ? QStringLiteral("Copied") : QStringLiteral("Copy"));
        setIcon(Symbols::tinted(copied ? QStringLiteral("checkmark") : QStringLiteral("doc.on.doc"),
                                TarnwickTheme::accentInk(), 10));
        setIconSize({10, 10});
    }

private:
    QString m_text;
    Clock& m_clock;
};

// The source chip: the application's icon and name drawn from the chip's own left edge, so it shares
// the card's leading edge with the text and the date.
class SourceChip : public QToolButton {
public:
    using QToolButton::QToolButton;
    static constexpr int iconSide = 18, gap = 7;

    QSize sizeHint() const override
    {
        const QFontMetricsF metrics(font());
        const int textWidth = int(std::ceil(metrics.horizontalAdvance(text())));
        const int iconWidth = icon().isNull() ? 0 : iconSide + gap;
        return {iconWidth + textWidth, std::max(iconSide, int(std::ceil(metrics.height())))};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        int x = 0;
        if (!icon().isNull()) {
            p.drawPixmap(QRect(0, (height() - iconSide) / 2, iconSide, iconSide),
                         icon().pixmap(QSize(iconSide, iconSide), devicePixelRatioF()));
            x = iconSide + gap;
        }
        p.setFont(font());
        p.setPen(palette().color(QPalette::ButtonText));
        p.drawText(QRect(x, 0, width() - x, height()), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text());
    }
};

}  // namespace

CapturePeekController::CapturePeekController(NoteStore& store, Clock& clock, QObject* parent)
    : QObject(parent),
      m_store(store),
      m_clock(clock),
      m_openUrl([](const QUrl& url) { QDesktopServices::openUrl(url); })
{
    // The screen shrank or lost room under an open card: it stays whole on it, as a drag keeps it.
    ScreenChanges::watch(this, [this] {
        if (!m_panel || !m_panel->isVisible()) return;
        QScreen* screen = QGuiApplication::screenAt(m_panel->geometry().center());
        if (!screen) screen = QGuiApplication::primaryScreen();
        if (!screen) return;
        const QPoint at =
            CapsuleGeometry::draggedOrigin(m_panel->pos(), {}, m_panel->size(), screen->availableGeometry());
        if (at != m_panel->pos()) m_panel->move(at);
    });
}

CapturePeekController::~CapturePeekController()
{
    // The card's own teardown deactivates it: the filter must not act on a controller going away.
    if (m_watchedPanel) m_watchedPanel->removeEventFilter(this);
    m_watchedPanel = nullptr;
    delete m_panel.data();
}

void CapturePeekController::close()
{
    dismiss(true);
}

void CapturePeekController::dismiss(bool giveBack)
{
    if (!m_panel) return;
    KeyablePanel* panel = m_panel;
    m_panel = nullptr;
    m_watchedPanel = nullptr;
    panel->removeEventFilter(this);
    // Closed by its own key or button: the keyboard goes back where it was, before the card hides (the
    // window manager would choose the next window itself). Lost to a click elsewhere, it stays where
    // that click put it.
    if (giveBack)
        m_focusReturn.restore();
    else
        m_focusReturn = {};
    panel->hide();
    panel->deleteLater();
}

bool CapturePeekController::eventFilter(QObject* watched, QEvent* event)
{
    // Only the card that is open now closes on losing the keys: a replaced one's late deactivation
    // must not take its successor with it.
    if (event->type() == QEvent::WindowDeactivate && watched == m_watchedPanel) {
        if (!secondPressOfOpeningClick()) {
            dismiss(false);
        } else {
            // Once only; the card takes the keys back, so that a click elsewhere still closes it.
            m_presentedAt = -1;
            m_panel->showAndFocus();
        }
    }
    return QObject::eventFilter(watched, event);
}

bool CapturePeekController::secondPressOfOpeningClick() const
{
    if (m_presentedAt < 0 || !m_panel) return false;
    const QStyleHints* hints = QGuiApplication::styleHints();
    return m_clock.elapsedMs() - m_presentedAt <= hints->mouseDoubleClickInterval() &&
           (QCursor::pos() - m_presentedPointer).manhattanLength() <= hints->mouseDoubleClickDistance();
}

void CapturePeekController::present(const QUuid& captureID, const FocusReturn& giveBackTo)
{
    Capture* capture = m_store.capture(captureID);
    if (!capture) return;
    const CapturePeekCard card = CapturePeekCard::of(*capture);
    // A card replacing another gives the keyboard back to where the first one took it from.
    FocusReturn opener = m_focusReturn;
    if (giveBackTo.window())
        opener = giveBackTo;
    else if (!m_panel)
        opener.capture(QApplication::activeWindow());
    dismiss(false);
    m_focusReturn = opener;

    auto* panel = new PeekPanel;
    panel->composited = EwmhWindowState::compositingManagerRunning();
    panel->setWindowTitle(QStringLiteral("Capture preview"));
    panel->setFixedWidth(kWidth);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    // Header: the source chip, then the close button.
    auto* header = new QHBoxLayout;
    header->setContentsMargins(20, 12, 20, 0);
    header->setSpacing(8);
    auto* chip = new SourceChip;
    chip->setObjectName(QStringLiteral("sourceChip"));
    chip->setAutoRaise(true);
    chip->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    chip->setText(card.chipText);
    chip->setFont(systemFont(12, QFont::DemiBold));
    TextColor::set(chip, TarnwickTheme::textPrimary());
    chip->setStyleSheet(QStringLiteral("QToolButton { border: none; padding: 0; background: transparent; }"));
    chip->setFocusPolicy(Qt::NoFocus);
    if (card.desktopID && m_icons) {
        const QIcon icon = m_icons(*card.desktopID);
        if (!icon.isNull()) {
            chip->setIcon(icon);
            chip->setIconSize({18, 18});
        }
    }
    chip->setAccessibleName(card.chipAccessibleName);
    if (card.link) {
        chip->setToolTip(QStringLiteral("Open the source"));
        chip->setCursor(Qt::PointingHandCursor);
        const QUrl url = *card.link;
        connect(chip, &QToolButton::clicked, this, [this, url] {
            if (m_openUrl) m_openUrl(url);
        });
    } else {
        chip->setEnabled(true);
        chip->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    header->addWidget(chip);
    header->addStretch(1);
    auto* closeButton = new QToolButton;
    closeButton->setObjectName(QStringLiteral("closeButton"));
    closeButton->setAutoRaise(true);
    closeButton->setIcon(Symbols::tinted(QStringLiteral("xmark"), TarnwickTheme::textSecondary(), 10));
    closeButton->setIconSize({10, 10});
    closeButton->setFixedSize(20, 20);
    closeButton->setFocusPolicy(Qt::NoFocus);
    closeButton->setAccessibleName(QStringLiteral("Close capture preview"));
    closeButton->setStyleSheet(QStringLiteral("QToolButton { border: none; background: transparent; }"));
    connect(closeButton, &QToolButton::clicked, this, &CapturePeekController::close);
    header->addWidget(closeButton);
    column->addLayout(header);

    // The text, verbatim and selectable, scrolling past 320 points.
    auto* text = new QPlainTextEdit;
    text->setObjectName(QStringLiteral("captureText"));
    text->setReadOnly(true);
    text->setPlainText(card.text);
    text->setFont(systemFont(15, QFont::Normal));
    text->setFrameShape(QFrame::NoFrame);
    text->setFocusPolicy(Qt::ClickFocus);
    text->setStyleSheet(QStringLiteral("QPlainTextEdit { background: transparent; }"));
    TextColor::set(text, TarnwickTheme::textPrimary());
    text->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    text->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // The text starts at the card's 20-point edge, like the chip above and the date below.
    text->document()->setDocumentMargin(0);
    const int textWidth = kWidth - 40;
    text->setFixedWidth(textWidth);
    // Measured laid out at its width, so a short text makes a short card.
    QTextDocument measure;
    measure.setDefaultFont(text->font());
    measure.setDocumentMargin(text->document()->documentMargin());
    measure.setPlainText(card.text);
    measure.setTextWidth(textWidth - text->verticalScrollBar()->sizeHint().width());
    const int contentHeight = int(std::ceil(measure.size().height())) + 2;
    text->setFixedHeight(std::min(kMaxTextHeight, contentHeight));
    auto* textRow = new QHBoxLayout;
    textRow->setContentsMargins(20, 12, 20, 12);
    textRow->addWidget(text);
    column->addLayout(textRow);

    // Footer: the date and Copy, under a hairline.
    auto* divider = new QWidget;
    divider->setFixedHeight(1);
    divider->setAutoFillBackground(true);
    QPalette line = divider->palette();
    line.setColor(QPalette::Window, TarnwickTheme::hairline());
    divider->setPalette(line);
    column->addWidget(divider);
    auto* footer = new QHBoxLayout;
    footer->setContentsMargins(20, 10, 20, 10);
    footer->setSpacing(16);
    auto* date = new QLabel;
    date->setObjectName(QStringLiteral("date"));
    date->setTextFormat(Qt::PlainText);
    date->setText(card.dateText());
    date->setFont(systemFont(11.5, QFont::Normal));
    date->setIndent(0);
    date->setMargin(0);
    TextColor::set(date, TarnwickTheme::textSecondary());
    footer->addWidget(date);
    footer->addStretch(1);
    auto* copy = new CopyButton(card.text, m_clock);
    copy->setObjectName(QStringLiteral("copyButton"));
    footer->addWidget(copy);
    column->addLayout(footer);

    // Ctrl+W and Escape close the card.
    for (const QKeySequence& keys : {QKeySequence(Qt::CTRL | Qt::Key_W), QKeySequence(Qt::Key_Escape)}) {
        auto* shortcut = new QShortcut(keys, panel);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, &CapturePeekController::close);
    }

    panel->adjustSize();
    // On the screen the user works on: the one of the window that opened it (the shelf, a note), not
    // wherever the pointer was left.
    if (QScreen* screen = KeyScreen::current())
        panel->move(CapsuleGeometry::peekOrigin(screen->availableGeometry(), panel->size()));
    if (!panel->composited) {
        QPainterPath path;
        path.addRoundedRect(QRectF(panel->rect()), kRadius, kRadius);
        panel->setMask(QRegion(path.toFillPolygon().toPolygon()));
    }
    m_panel = panel;
    m_watchedPanel = panel;
    m_presentedAt = m_clock.elapsedMs();
    m_presentedPointer = QCursor::pos();
    panel->installEventFilter(this);
    // On every workspace: written before mapping, so the window manager takes it with the window.
    EwmhWindowState::States states = EwmhWindowState::read(panel->winId());
    states.sticky = true;
    EwmhWindowState::apply(panel->winId(), states);
    panel->showAndFocus();
}
