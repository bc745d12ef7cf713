#include "themes/ThemePreviewNote.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QPainterPath>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "design/Symbols.h"
#include "design/TarnwickTheme.h"
#include "design/TarnwickType.h"
#include "themes/ThemePreviewMetrics.h"

namespace {

QColor faded(QColor colour, double alpha)
{
    colour.setAlphaF(float(alpha));
    return colour;
}

const QString kBullet = QString(QChar(0x2022));
constexpr int kCardWidth = 260;
constexpr int kPadX = 16;
constexpr int kPadY = 13;

}  // namespace

ThemePreviewNote::ThemePreviewNote(QWidget* parent) : QWidget(parent)
{
    setAccessibleName(tr("Sample note"));
    setMinimumSize(kCardWidth + 40, 300);
}

void ThemePreviewNote::setLook(const QColor& paper, const QColor& ink, const std::optional<QString>& family,
                               double lineHeight)
{
    m_paper = paper;
    m_ink = ink;
    m_family = family;
    m_lineHeight = lineHeight;
    update();
}

void ThemePreviewNote::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), TarnwickTheme::canvas());
    const int inner = kCardWidth - 2 * kPadX;
    const QFont body = ThemePreviewMetrics::bodyFont(m_family, 13);
    QFont bold = ThemePreviewMetrics::bodyFont(m_family, 13, QFont::Bold);
    QFont italic = body;
    italic.setItalic(true);
    const QFont title = TarnwickType::brand(19, QFont::DemiBold);
    const double spacing = ThemePreviewMetrics::lineSpacing(m_family, m_lineHeight);

    // The sentence, wrapped, with the extra spacing between its lines.
    QTextDocument sentence;
    sentence.setDocumentMargin(0);
    sentence.setTextWidth(inner);
    QTextCursor cursor(&sentence);
    QTextBlockFormat block;
    block.setLineHeight(spacing, QTextBlockFormat::LineDistanceHeight);
    cursor.setBlockFormat(block);
    const std::pair<QString, const QFont*> runs[] = {{QStringLiteral("Next up to read: "), &body},
                                                     {QStringLiteral("Dune,"), &bold},
                                                     {QStringLiteral(" after "), &body},
                                                     {QStringLiteral("Nostromo"), &italic},
                                                     {QStringLiteral(" again."), &body}};
    for (const auto& [text, font] : runs) {
        QTextCharFormat format;
        format.setFont(*font);
        format.setForeground(m_ink);
        cursor.insertText(text, format);
    }
    const int lineH = QFontMetrics(body).height();
    const int titleH = QFontMetrics(title).height();
    const int sentenceH = int(std::ceil(sentence.size().height()));
    const int rowH = lineH + 2;
    const int height = kPadY + 12 + 10 + 13 + 9 + titleH + 5 + sentenceH + 7 + 3 * rowH + 12 + 14 + kPadY;

    const QRectF card((width() - kCardWidth) / 2.0, std::max(20.0, (this->height() - height) / 2.0), kCardWidth,
                      height);
    QPainterPath shape;
    shape.addRoundedRect(card, 12, 12);
    for (int i = 1; i <= 6; ++i) {
        QPainterPath shadow;
        shadow.addRoundedRect(card.adjusted(-i, -i + 5, i, i + 5), 12 + i, 12 + i);
        p.fillPath(shadow, QColor(0, 0, 0, 33 / (i + 2)));
    }
    p.fillPath(shape, m_paper);
    p.save();
    p.setClipPath(shape);

    double x = card.left() + kPadX;
    double y = card.top() + kPadY;
    // Window controls.
    const QColor dots[] = {QColor::fromRgbF(0.925f, 0.416f, 0.369f), QColor::fromRgbF(0.957f, 0.749f, 0.31f),
                           QColor::fromRgbF(0.38f, 0.769f, 0.329f)};
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 3; ++i) {
        p.setBrush(dots[i]);
        p.drawEllipse(QRectF(x + i * 17, y, 11, 11));
    }
    double right = card.right() - kPadX - 12;
    for (const char* symbol : {"paintpalette", "lock", "circle.lefthalf.filled"}) {
        Symbols::tinted(QString::fromLatin1(symbol), faded(m_ink, 0.45), 12)
            .paint(&p, QRect(int(right), int(y), 12, 12));
        right -= 12 + 6;
    }
    y += 12 + 10;
    // Formatting row.
    double fx = x;
    for (const char* symbol :
         {"bold", "italic", "underline", "strikethrough", "|", "checklist", "list.bullet", "list.number"}) {
        if (QLatin1String(symbol) == QLatin1String("|")) {
            p.fillRect(QRectF(fx, y, 1, 13), faded(m_ink, 0.25));
            fx += 1 + 11;
            continue;
        }
        Symbols::tinted(QString::fromLatin1(symbol), faded(m_ink, 0.55), 12).paint(&p, QRect(int(fx), int(y), 12, 12));
        fx += 12 + 11;
    }
    y += 13 + 9;
    // Title: always the brand face, whatever the theme's family.
    p.setFont(title);
    p.setPen(m_ink);
    p.drawText(QRectF(x, y, inner, titleH), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Reading list"));
    y += titleH + 5;
    p.save();
    p.translate(x, y);
    sentence.drawContents(&p);
    p.restore();
    y += sentenceH + 7;
    // Check-list and bullet lines.
    auto line = [&](const QString& symbol, double symbolAlpha, const QString& text, double textAlpha, bool struck) {
        y += 1;
        if (symbol == kBullet) {
            p.setFont(TarnwickType::system(13));
            p.setPen(faded(m_ink, 0.6));
            p.drawText(QRectF(x + 4, y, 8, lineH), Qt::AlignCenter, symbol);
        } else {
            Symbols::tinted(symbol, faded(m_ink, symbolAlpha), 12)
                .paint(&p, QRect(int(x), int(y + (lineH - 12) / 2), 12, 12));
        }
        QFont font = body;
        font.setStrikeOut(struck);
        p.setFont(font);
        p.setPen(faded(m_ink, textAlpha));
        const double tx = x + (symbol == kBullet ? 16 : 12) + 7;
        p.drawText(QRectF(tx, y, inner - (tx - x), lineH), Qt::AlignLeft | Qt::AlignVCenter, text);
        y += lineH + 1;
    };
    line(QStringLiteral("checkmark.square"), 0.42, QStringLiteral("Buy a reading lamp"), 0.42, true);
    line(QStringLiteral("square"), 0.7, QStringLiteral("Renew the cards"), 1.0, false);
    line(kBullet, 0.6, QStringLiteral("Ask Mara for her list"), 1.0, false);
    y += 12;
    p.setFont(TarnwickType::system(10.5));
    p.setPen(faded(m_ink, 0.32));
    p.drawText(QRectF(x, y, inner, 14), Qt::AlignRight | Qt::AlignBottom, QStringLiteral("88"));
    p.restore();

    p.setPen(QPen(TarnwickTheme::hairline(), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(card.adjusted(0.5, 0.5, -0.5, -0.5), 12, 12);
}
