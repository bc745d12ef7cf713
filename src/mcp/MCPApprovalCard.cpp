#include "mcp/MCPApprovalCard.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {

constexpr int kRadius = 16;
// PLACEHOLDER until the design tokens land: the paper and accent colours of the light scheme.
const QColor kPaper(0xFB, 0xF9, 0xF4);
const QColor kSecondaryInk(0x6B, 0x67, 0x60);

// PLACEHOLDER until the shared symbol lookup lands: freedesktop icon names of the same meaning.
QIcon symbolIcon(const QString& symbol)
{
    if (symbol == QLatin1String("square.and.pencil")) return QIcon::fromTheme(QStringLiteral("document-edit"));
    if (symbol == QLatin1String("eye")) return QIcon::fromTheme(QStringLiteral("view-visible"));
    if (symbol == QLatin1String("lock.fill")) return QIcon::fromTheme(QStringLiteral("changes-prevent"));
    if (symbol == QLatin1String("sparkles")) return QIcon::fromTheme(QStringLiteral("starred"));
    return {};
}

QWidget* factRow(const QString& symbol, const QString& text, int pointSize, QWidget* parent)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    auto* icon = new QLabel(row);
    icon->setPixmap(symbolIcon(symbol).pixmap(14, 14));
    auto* label = new QLabel(text, row);
    label->setTextFormat(Qt::PlainText);  // texts that come from data are shown as they are
    label->setWordWrap(true);
    QFont font = label->font();
    font.setPointSize(pointSize);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, kSecondaryInk);
    label->setPalette(palette);
    layout->addWidget(icon, 0, Qt::AlignTop);
    layout->addWidget(label, 1);
    return row;
}

}  // namespace

MCPApprovalCard::MCPApprovalCard(const QString& clientName, const QString& scope, QWidget* parent)
    : KeyablePanel(parent, Qt::WindowStaysOnTopHint),
      m_scopeSymbol(scope.contains(QLatin1String("write")) ? QStringLiteral("square.and.pencil")
                                                           : QStringLiteral("eye"))
{
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowTitle(tr("Allow access?"));
    QPalette palette;  // the card always draws in the light scheme
    palette.setColor(QPalette::Window, kPaper);
    palette.setColor(QPalette::WindowText, Qt::black);
    palette.setColor(QPalette::ButtonText, Qt::black);
    setPalette(palette);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(16);

    auto* header = new QHBoxLayout;
    header->setSpacing(8);
    auto* sparkles = new QLabel(this);
    sparkles->setPixmap(symbolIcon(QStringLiteral("sparkles")).pixmap(18, 18));
    m_headline = new QLabel(tr("%1 wants to read your notes").arg(clientName), this);
    m_headline->setTextFormat(Qt::PlainText);
    m_headline->setWordWrap(true);
    QFont headlineFont = m_headline->font();
    headlineFont.setBold(true);
    m_headline->setFont(headlineFont);
    header->addWidget(sparkles, 0, Qt::AlignVCenter);
    header->addWidget(m_headline, 1);
    layout->addLayout(header);

    auto* facts = new QVBoxLayout;
    facts->setSpacing(4);
    facts->addWidget(factRow(m_scopeSymbol, scope, 13, this));
    facts->addWidget(factRow(QStringLiteral("lock.fill"), tr("Private & locked notes are never shared"), 11, this));
    layout->addLayout(facts);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    buttons->addStretch(1);
    m_deny = new QPushButton(tr("Deny"), this);
    m_allow = new QPushButton(tr("Allow"), this);
    m_allow->setDefault(true);
    m_allow->setAutoDefault(true);
    m_deny->setAutoDefault(false);
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

void MCPApprovalCard::present()
{
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center().x() - width() / 2, area.center().y() - height() / 2);
    } else {
        move(0, 0);
    }
    showAndFocus();
    m_allow->setFocus();
}

void MCPApprovalCard::answer(bool allow)
{
    if (m_answered) return;
    m_answered = true;
    if (allow)
        Q_EMIT allowed();
    else
        Q_EMIT denied();
}

void MCPApprovalCard::keyPressEvent(QKeyEvent* event)
{
    const bool escape = event->key() == Qt::Key_Escape;
    const bool cancel = event->key() == Qt::Key_Period && (event->modifiers() & Qt::ControlModifier);
    if (escape || cancel) {
        answer(false);
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        answer(true);
        return;
    }
    KeyablePanel::keyPressEvent(event);
}

void MCPApprovalCard::closeEvent(QCloseEvent* event)
{
    // Closed by the window manager: the user did not allow it.
    answer(false);
    KeyablePanel::closeEvent(event);
}

void MCPApprovalCard::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), kRadius, kRadius);
    painter.fillPath(path, palette().color(QPalette::Window));
}
