#include "mcp/MCPApprovalCard.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <optional>

#include "design/PlainText.h"
#include "design/SharePrivacy.h"
#include "design/Symbols.h"
#include "design/TarnwickTheme.h"
#include "design/TarnwickType.h"
#include "platform/EwmhWindowState.h"

namespace {

constexpr int kRadius = 16;

QLabel* symbolLabel(const QString& symbol, const QColor& color, int size, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setPixmap(Symbols::tinted(symbol, color, size).pixmap(size, size));
    label->setFixedSize(size, size);
    return label;
}

// One line of the facts: a symbol and a text in the secondary colour.
QWidget* factRow(const QString& symbol, const QString& text, const QFont& font, QWidget* parent)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    const int symbolSize = QFontMetrics(font).height() - 2;
    auto* label = new QLabel(text, row);
    label->setTextFormat(Qt::PlainText);  // texts that come from data are shown as they are
    label->setWordWrap(true);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, TarnwickTheme::textSecondary());
    label->setPalette(palette);
    layout->addWidget(symbolLabel(symbol, TarnwickTheme::textSecondary(), symbolSize, row), 0, Qt::AlignVCenter);
    layout->addWidget(label, 1);
    return row;
}

QString buttonSheet(const QColor& background, const QColor& pressed, const QColor& text, const QColor& border)
{
    return QStringLiteral(
               "QPushButton { background: %1; color: %3; border: 1px solid %4; border-radius: 6px;"
               " padding: 4px 14px; }"
               "QPushButton:pressed { background: %2; }")
        .arg(background.name(QColor::HexArgb), pressed.name(QColor::HexArgb), text.name(QColor::HexArgb),
             border.name(QColor::HexArgb));
}

}  // namespace

MCPApprovalCard::MCPApprovalCard(const QString& clientName, const QString& scope, QWidget* parent)
    : KeyablePanel(parent, Qt::WindowStaysOnTopHint),
      m_scopeSymbol(scope.contains(QLatin1String("write")) ? QStringLiteral("square.and.pencil")
                                                           : QStringLiteral("eye"))
{
    // Without a compositor the window is opaque and cut round by its mask: its corners' edge pixels then
    // blend with the card's own paper rather than with black.
    if (EwmhWindowState::compositingManagerRunning()) setAttribute(Qt::WA_TranslucentBackground);
    setWindowTitle(tr("Allow access?"));
    QPalette palette;  // the card always draws in the light scheme
    palette.setColor(QPalette::Window, TarnwickTheme::paper());
    palette.setColor(QPalette::WindowText, TarnwickTheme::textPrimary());
    palette.setColor(QPalette::ButtonText, TarnwickTheme::textPrimary());
    setPalette(palette);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(16);

    auto* header = new QHBoxLayout;
    header->setSpacing(8);
    QLabel* sparkles = symbolLabel(QStringLiteral("sparkles"), TarnwickTheme::accent(), 18, this);
    const QFont headlineFont = TarnwickType::system(13, QFont::DemiBold);
    const QString whole = tr("%1 wants to read your notes").arg(clientName);
    m_clientName = clientName;
    m_headline = new QLabel(this);
    m_headline->setTextFormat(Qt::PlainText);
    m_headline->setWordWrap(true);
    m_headline->setFont(headlineFont);
    // The whole name, as plain text, for a screen reader and under the pointer.
    m_headline->setAccessibleName(whole);
    PlainText::setToolTip(m_headline, whole);
    // The card's width is fixed, so is the headline's: the margins, the symbol and the gap beside it.
    fitHeadline(kWidth - 24 * 2 - 18 - 8);
    header->addWidget(sparkles, 0, Qt::AlignVCenter);
    header->addWidget(m_headline, 1);
    layout->addLayout(header);

    auto* facts = new QVBoxLayout;
    facts->setSpacing(4);
    facts->addWidget(factRow(m_scopeSymbol, scope, TarnwickType::noteBody(), this));
    facts->addWidget(factRow(QStringLiteral("lock.fill"), tr("Private & locked notes are never shared"),
                             TarnwickType::caption(), this));
    layout->addLayout(facts);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    buttons->addStretch(1);
    m_deny = new QPushButton(tr("Deny"), this);
    m_allow = new QPushButton(tr("Allow"), this);
    // The keys belong to the card, not to a focused button: see keyReleaseEvent.
    m_allow->setFocusPolicy(Qt::NoFocus);
    m_deny->setFocusPolicy(Qt::NoFocus);
    m_allow->setDefault(true);
    m_deny->setStyleSheet(buttonSheet(TarnwickTheme::surfaceRaised(), TarnwickTheme::fill(),
                                      TarnwickTheme::textPrimary(), TarnwickTheme::hairline()));
    m_allow->setStyleSheet(buttonSheet(TarnwickTheme::accent(), TarnwickTheme::accentInk(), TarnwickTheme::onInk(),
                                       TarnwickTheme::accent()));
    buttons->addWidget(m_deny);
    buttons->addWidget(m_allow);
    layout->addLayout(buttons);

    connect(m_allow, &QPushButton::clicked, this, [this] { answer(true); });
    connect(m_deny, &QPushButton::clicked, this, [this] { answer(false); });

    // As wide as the card is drawn, as tall as its content.
    setFixedWidth(kWidth);
    layout->activate();
    setFixedHeight(hasHeightForWidth() ? heightForWidth(kWidth) : sizeHint().height());
}

void MCPApprovalCard::fitHeadline(int lineWidth)
{
    // A name longer than a line is cut once, in the middle, to what that line holds as drawn (a
    // glyph may overhang its advance); a longer one would run past the label's edge and lose its end.
    const QFontMetrics metrics(m_headline->font());
    const auto drawnWidth = [&](const QString& text) {
        return std::max(metrics.horizontalAdvance(text), metrics.boundingRect(text).width());
    };
    QString shown = m_clientName;
    for (int room = lineWidth; room > 0 && drawnWidth(shown) > lineWidth; room -= 4)
        shown = metrics.elidedText(m_clientName, Qt::ElideMiddle, room);
    m_headline->setText(tr("%1 wants to read your notes").arg(shown));
}

void MCPApprovalCard::resizeEvent(QResizeEvent* event)
{
    if (!EwmhWindowState::compositingManagerRunning()) {
        // Nothing blends the translucent corners without a compositor: cut them off.
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), kRadius, kRadius);
        setMask(QRegion(path.toFillPolygon().toPolygon()));
    }
    KeyablePanel::resizeEvent(event);
}

void MCPApprovalCard::present(const Settings& settings, const MCPApprovalCard* previous)
{
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center().x() - width() / 2, area.center().y() - height() / 2);
    } else {
        move(0, 0);
    }
    SharePrivacy::apply(QList<QObject*>{this}, settings);
    // On every desktop while it waits: a desktop switch must not leave the question behind.
    EwmhWindowState::apply(winId(), {.above = true, .sticky = true, .skipTaskbar = true, .skipPager = true});
    // Following another card, the keyboard goes back in the end where that one took it from.
    QWidget* active = QApplication::activeWindow();
    if (previous && (!active || active == previous))
        m_focusReturn = previous->m_opener;
    else
        m_focusReturn.capture(active);
    m_opener = m_focusReturn;
    showAndFocus();
}

void MCPApprovalCard::answer(bool allow)
{
    if (m_answered) return;
    m_answered = true;
    // Handed on while the card still has the keyboard: once it has hidden, the window manager has given
    // it to whatever stacks next, which passes over our windows (they skip the taskbar) to another
    // application's. A card hidden unanswered gives it back as it hides.
    m_focusReturn.restore();
    if (allow)
        Q_EMIT allowed();
    else
        Q_EMIT denied();
}

namespace {
// Return or Enter allows; Escape or Control-period denies.
std::optional<bool> answerForKey(const QKeyEvent* event)
{
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return true;
        case Qt::Key_Escape:
            return false;
        case Qt::Key_Period:
            if (event->modifiers() & Qt::ControlModifier) return false;
            return std::nullopt;
        default:
            return std::nullopt;
    }
}
}  // namespace

void MCPApprovalCard::keyPressEvent(QKeyEvent* event)
{
    const std::optional<bool> allow = answerForKey(event);
    if (!allow) return KeyablePanel::keyPressEvent(event);
    // Only a key pressed while this card is up may answer it: a held-down key repeating, or the release
    // of a press that answered the previous card, must never allow a client nobody looked at. The answer
    // is the press's: Ctrl may come up before the period, and the period's release is still a denial.
    if (!event->isAutoRepeat()) m_pressed = Press{event->key(), *allow};
}

void MCPApprovalCard::keyReleaseEvent(QKeyEvent* event)
{
    const bool pressedHere = m_pressed && event->key() == m_pressed->key;
    if (!pressedHere) {
        if (answerForKey(event)) return;
        return KeyablePanel::keyReleaseEvent(event);
    }
    if (event->isAutoRepeat()) return;
    const bool allow = m_pressed->allow;
    m_pressed.reset();
    answer(allow);
}

void MCPApprovalCard::closeEvent(QCloseEvent* event)
{
    // Closed by the window manager: the user did not allow it.
    answer(false);
    KeyablePanel::closeEvent(event);
}

void MCPApprovalCard::hideEvent(QHideEvent* event)
{
    KeyablePanel::hideEvent(event);
    m_focusReturn.restore();
}

void MCPApprovalCard::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), kRadius, kRadius);
    painter.fillPath(path, palette().color(QPalette::Window));
}
