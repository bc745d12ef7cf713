#include "shelf/ShelfRowDelegate.h"

#include <QAbstractItemView>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QTextBoundaryFinder>
#include <QTextLayout>
#include <cmath>

#include "design/Symbols.h"
#include "design/TarnwickStyle.h"
#include "design/TarnwickTheme.h"
#include "design/TarnwickType.h"
#include "model/Capture.h"
#include "model/Note.h"
#include "shelf/AppIconCache.h"
#include "shelf/ShelfDateGroup.h"
#include "shelf/ShelfListModel.h"

namespace {

using Kind = ShelfListModel::Kind;

constexpr int kOuter = 5;   // the highlight stands this far in from the list's edges
constexpr int kInner = 14;  // and the content this far inside the highlight
constexpr int kSlot = 58;   // the trailing slot: time stamp, or the hover icons
constexpr int kIcon = 22;   // one hover icon
constexpr int kGlyph = 15;

const ShelfListModel* modelOf(const QModelIndex& index)
{
    return qobject_cast<const ShelfListModel*>(index.model());
}

QFont font(qreal size, QFont::Weight weight = QFont::Normal)
{
    return TarnwickType::system(size, weight);
}

// One line of plain text in `rect`, fitted as fitLine() does, with an optional range drawn bold.
void drawLine(QPainter* p, const QRect& rect, const QString& text, const QFont& f, const QColor& color,
              std::optional<SearchSupport::Highlighted::Span> bold = std::nullopt, Qt::Alignment align = Qt::AlignLeft)
{
    if (rect.width() <= 0 || text.isEmpty()) return;
    const ShelfRowDelegate::FittedLine fitted = ShelfRowDelegate::fitLine(text, bold, f, rect.width());
    QTextLayout layout(fitted.text, f);
    layout.setCacheEnabled(true);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    if (fitted.bold) {
        QTextLayout::FormatRange range;
        range.start = int(fitted.bold->start);
        range.length = int(fitted.bold->length);
        range.format.setFontWeight(QFont::Bold);
        layout.setFormats({range});
    }
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLineWidth(1e6);
    layout.endLayout();
    const qreal width = line.naturalTextWidth();
    qreal x = rect.x();
    if (align & Qt::AlignRight) x = rect.right() + 1 - width;
    const qreal y = rect.y() + (rect.height() - line.height()) / 2.0;
    p->save();
    p->setClipRect(rect);
    p->setPen(color);
    layout.draw(p, QPointF(x, y));
    p->restore();
}

QFont boldOf(QFont f)
{
    f.setWeight(QFont::Bold);
    return f;
}

QColor withAlpha(QColor c, qreal a)
{
    c.setAlphaF(c.alphaF() * a);
    return c;
}

}  // namespace

ShelfRowDelegate::ShelfRowDelegate(ShelfRowActions& actions, QObject* parent)
    : QStyledItemDelegate(parent), m_actions(actions)
{
}

ShelfRowDelegate::FittedLine ShelfRowDelegate::fitLine(const QString& text,
                                                       std::optional<SearchSupport::Highlighted::Span> bold,
                                                       const QFont& f, qreal width)
{
    static const QString ellipsis(QChar(0x2026));
    const QFontMetricsF regular(f);
    if (bold && (bold->start < 0 || bold->length <= 0 || bold->start + bold->length > text.size())) bold.reset();
    if (!bold) return {regular.elidedText(text, Qt::ElideRight, width), std::nullopt};

    const QFontMetricsF strong(boldOf(f));
    const QString match = text.mid(bold->start, bold->length);
    const qreal matchWidth = strong.horizontalAdvance(match);
    // The bold run is wider than the same letters drawn regular: elide as if the rest had that much less.
    const qreal extra = matchWidth - regular.horizontalAdvance(match);
    if (regular.horizontalAdvance(text) + extra <= width) return {text, bold};
    // The tail will be cut: leave room for its ellipsis after the match.
    const bool tailAfter = bold->start + bold->length < text.size();
    const qreal tailRoom = tailAfter ? regular.horizontalAdvance(ellipsis) : 0;
    const auto fits = [&](const QString& lead) {
        return regular.horizontalAdvance(lead) + matchWidth + tailRoom <= width;
    };
    QString shown = text;
    qsizetype start = bold->start;
    if (!fits(text.left(start))) {
        if (!fits(ellipsis)) {
            // Not even the match fits: show as much of it as there is room for.
            return {regular.elidedText(ellipsis + text.mid(start), Qt::ElideRight, width), std::nullopt};
        }
        // Drop leading context, a whole character at a time, until the match ends inside the width.
        QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
        qsizetype from = 0;
        while (from < start && !fits(ellipsis + text.mid(from, start - from))) {
            graphemes.setPosition(from);
            const qsizetype next = graphemes.toNextBoundary();
            if (next < 0 || next > start) break;
            from = next;
        }
        shown = ellipsis + text.mid(from);
        start = start - from + ellipsis.size();
    }
    const QString elided = regular.elidedText(shown, Qt::ElideRight, width - extra);
    // The elided text keeps its start; the match is whole when the elided text reaches past its end
    // (less the ellipsis that replaced the tail).
    const qsizetype kept = elided.endsWith(ellipsis) && elided.size() <= shown.size() && elided != shown
                               ? elided.size() - ellipsis.size()
                               : elided.size();
    const qsizetype boldLength = std::min<qsizetype>(bold->length, std::max<qsizetype>(0, kept - start));
    if (boldLength <= 0) return {elided, std::nullopt};
    return {elided, SearchSupport::Highlighted::Span{start, boldLength}};
}

QFont ShelfRowDelegate::slotFont()
{
    QFont mono = font(11);
    mono.setStyleHint(QFont::Monospace);
    mono.setFamilies({QStringLiteral("monospace")});
    return mono;
}

namespace {
struct SlotMeasure {
    bool shortYear = false;
    int width = kSlot;
};

// Measured once per font: the widest date of another year decides whether the full form fits the
// slot; when it does not, the short form is used and the slot widens only if even that needs it.
const SlotMeasure& slotMeasure()
{
    static QHash<QString, SlotMeasure> measured;
    const QFont f = ShelfRowDelegate::slotFont();
    const QString key = f.key() + u'|' + QLocale().name();
    auto it = measured.find(key);
    if (it != measured.end()) return *it;
    const QFontMetricsF metrics(f);
    const auto widest = [&](bool shortYear) {
        qreal w = 0;
        for (const QString& form : ShelfDateGroup::widestOtherYearForms(shortYear))
            w = std::max(w, metrics.horizontalAdvance(form));
        return int(std::ceil(w));
    };
    SlotMeasure m;
    if (widest(false) > kSlot) {
        m.shortYear = true;
        m.width = std::max(kSlot, widest(true));
    }
    return *measured.insert(key, m);
}
}  // namespace

int ShelfRowDelegate::slotWidth()
{
    return slotMeasure().width;
}

QString ShelfRowDelegate::slotText(const ShelfListModel::RowTexts& texts)
{
    return slotMeasure().shortYear && !texts.metaShort.isEmpty() ? texts.metaShort : texts.meta;
}

ShelfRowDelegate::HintLayout ShelfRowDelegate::hintLayout(const QString& text, int listWidth)
{
    static QHash<QString, HintLayout> cache;
    const QString key = QString::number(listWidth) + u'|' + text;
    if (const auto it = cache.constFind(key); it != cache.constEnd()) return *it;
    if (cache.size() > 64) cache.clear();  // hints are few; a query typed letter by letter is not

    HintLayout out;
    out.textWidth = std::max(1, listWidth - 2 * (kOuter + kInner));
    const QFont f = font(12.5);
    const QFontMetricsF metrics(f);
    // Whole pixels per line, as the painter steps from line to line.
    out.lineHeight = std::ceil(metrics.lineSpacing());
    QTextLayout layout(text, f);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    constexpr int kMaxLines = 3;
    while (true) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) break;
        line.setLineWidth(out.textWidth);
        if (out.lines.size() == kMaxLines - 1) {
            // The last line takes the rest, cut with an ellipsis.
            out.lines << metrics.elidedText(text.mid(line.textStart()).simplified(), Qt::ElideRight, out.textWidth);
            break;
        }
        out.lines << text.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    if (out.lines.isEmpty()) out.lines << QString();
    out.height = 2 * hintPadding + int(std::ceil(out.lines.size() * out.lineHeight));
    cache.insert(key, out);
    return out;
}

int ShelfRowDelegate::heightOf(int kind, bool inSearch)
{
    switch (Kind(kind)) {
        case Kind::header:
        case Kind::binHeader:
            return 26;
        case Kind::note:
        case Kind::capture:
            return (inSearch ? 44 : 32) + 1;
        case Kind::binNote:
            return 33;
        case Kind::hint:
            return 2 * hintPadding + 18;  // one line; the delegate measures the real text
        case Kind::actions:
            return 28;
    }
    return 32;
}

QSize ShelfRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const ShelfListModel* model = modelOf(index);
    const int kind = index.data(ShelfListModel::KindRole).toInt();
    if (Kind(kind) == Kind::hint && model) {
        const auto* view = qobject_cast<const QAbstractItemView*>(option.widget);
        const int width = view ? view->viewport()->width() : option.rect.width();
        return {option.rect.width(), hintLayout(model->text(index.row()), width).height};
    }
    return {option.rect.width(), heightOf(kind, model && model->inSearch())};
}

QPixmap ShelfRowDelegate::symbol(const QString& name, const QColor& color, int size) const
{
    const QString key = name + u'|' + color.name(QColor::HexArgb) + u'|' + QString::number(size);
    const auto it = m_symbols.constFind(key);
    if (it != m_symbols.constEnd()) return *it;
    const QPixmap pixmap = Symbols::tinted(name, color, size).pixmap(size, size);
    m_symbols.insert(key, pixmap);
    return pixmap;
}

// The commands of the drawn row's own object: drawing and hovering never look anything up.
static QList<ShelfRowActions::Command> commandsOf(ShelfRowActions& actions, const ShelfListModel& model, int row)
{
    const auto& item = model.item(row);
    int at = row;
    if (item.kind == Kind::actions) at = row - 1;  // the actions row sits right under its row
    if (at < 0 || model.item(at).row != item.row) return {};
    switch (model.item(at).kind) {
        case Kind::note:
            if (Note* note = model.note(at)) return actions.noteCommands(*note);
            break;
        case Kind::capture:
            if (Capture* capture = model.capture(at)) return actions.captureCommands(*capture);
            break;
        case Kind::binNote:
            if (Note* note = model.note(at)) return actions.binCommands(*note);
            break;
        default:
            break;
    }
    return {};
}

QList<ShelfRowActions::Command> ShelfRowDelegate::hoverCommands(const QModelIndex& index) const
{
    const ShelfListModel* model = modelOf(index);
    if (!model) return {};
    QList<ShelfRowActions::Command> out;
    for (auto& c : commandsOf(m_actions, *model, index.row()))
        if (!c.icon.isEmpty()) out << c;
    return out;
}

QList<ShelfRowActions::Command> ShelfRowDelegate::chipCommands(const QModelIndex& index) const
{
    const ShelfListModel* model = modelOf(index);
    if (!model) return {};
    QList<ShelfRowActions::Command> out;
    for (auto& c : commandsOf(m_actions, *model, index.row()))
        if (c.inChips) out << c;
    return out;
}

QList<QRect> ShelfRowDelegate::commandRects(const QRect& r, const QModelIndex& index) const
{
    const ShelfListModel* model = modelOf(index);
    if (!model) return {};
    if (model->item(index.row()).kind == Kind::actions) return chipRects(r, chipCommands(index));
    return hoverIconRects(r, int(hoverCommands(index).size()));
}

QRect ShelfRowDelegate::emptyBinRect(const QRect& r)
{
    const QFontMetrics metrics(font(11, QFont::Medium));
    const int w = metrics.horizontalAdvance(QStringLiteral("Empty bin"));
    return {r.right() - 19 - w, r.y() + 4, w + 8, r.height() - 4};
}

QList<QRect> ShelfRowDelegate::hoverIconRects(const QRect& r, int count) const
{
    QList<QRect> rects;
    const int right = r.right() - kOuter - kInner + 1;
    for (int i = 0; i < count; ++i) {
        const int x = right - (count - i) * kIcon;
        rects << QRect(x, r.y() + (r.height() - 1 - kIcon) / 2, kIcon, kIcon);
    }
    return rects;
}

QList<QRect> ShelfRowDelegate::chipRects(const QRect& r, const QList<ShelfRowActions::Command>& chips) const
{
    const QFontMetrics metrics(font(11.5, QFont::Medium));
    QList<QRect> rects;
    int x = r.x() + 19;
    for (const auto& c : chips) {
        const int w = metrics.horizontalAdvance(c.title) + 2;
        rects << QRect(x, r.y(), w, r.height());
        x += w + 14;
    }
    return rects;
}

ShelfRowDelegate::RowMarks ShelfRowDelegate::rowMarks(const QRect& r, Kind kind, const ShelfListModel::RowTexts& t)
{
    RowMarks m;
    const QRect line = r.adjusted(0, 0, 0, -1);
    const int midY = line.y() + line.height() / 2;
    int textRight = r.right() - kOuter - kInner + 1 - slotWidth() - 8;
    if (kind == Kind::capture && !t.source.isEmpty()) {
        const int w = std::min(int(std::ceil(QFontMetricsF(font(11)).horizontalAdvance(t.source))) + 2, 110);
        m.source = QRect(textRight - w, line.y(), w, line.height());
        textRight -= w + 8;
    }
    if (kind == Kind::note) {
        if (t.pinned) {
            m.pin = QRect(textRight - 10, midY - 5, 10, 10);
            textRight -= 10 + 6;
        }
        if (t.locked) {
            m.lock = QRect(textRight - 10, midY - 5, 10, 10);
            textRight -= 10 + 6;
        }
    }
    m.textRight = textRight;
    return m;
}

QList<ShelfRowDelegate::Mark> ShelfRowDelegate::marks(const QRect& r, const QModelIndex& index) const
{
    const ShelfListModel* model = modelOf(index);
    if (!model) return {};
    const Kind kind = model->item(index.row()).kind;
    if (kind != Kind::note && kind != Kind::capture && kind != Kind::binNote) return {};
    QList<Mark> out;
    if (index.row() == m_hovered) {
        const auto commands = hoverCommands(index);
        const auto rects = hoverIconRects(r, int(commands.size()));
        for (int i = 0; i < rects.size(); ++i) out.append({rects[i], commands[i].help, i});
    }
    const auto t = model->texts(index.row());
    const RowMarks row = rowMarks(r, kind, t);
    if (!row.lock.isNull())
        // A little larger than the glyph: it is small to aim at.
        out.append({row.lock.adjusted(-3, -3, 3, 3),
                    t.redacted ? QStringLiteral("Locked") : QStringLiteral("Unlocked for now"), -1});
    return out;
}

ShelfRowDelegate::Hit ShelfRowDelegate::hitTest(const QRect& r, const QModelIndex& index, const QPoint& pos) const
{
    const Kind kind = Kind(index.data(ShelfListModel::KindRole).toInt());
    switch (kind) {
        case Kind::note:
        case Kind::capture:
        case Kind::binNote: {
            for (const Mark& mark : marks(r, index))
                if (mark.command >= 0 && mark.rect.contains(pos)) return {Hit::Kind::hoverIcon, mark.command};
            return {Hit::Kind::row, -1};
        }
        case Kind::binHeader:
            return emptyBinRect(r).contains(pos) ? Hit{Hit::Kind::emptyBin, -1} : Hit{};
        case Kind::actions: {
            const auto rects = chipRects(r, chipCommands(index));
            for (int i = 0; i < rects.size(); ++i)
                if (rects[i].contains(pos)) return {Hit::Kind::chip, i};
            return {};
        }
        default:
            return {};
    }
}

void ShelfRowDelegate::paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const ShelfListModel* model = modelOf(index);
    if (!model) return;
    const int row = index.row();
    const auto& item = model->item(row);
    const QRect r = option.rect;
    p->save();
    p->setRenderHint(QPainter::Antialiasing);
    p->setRenderHint(QPainter::SmoothPixmapTransform);
    const QColor primary = TarnwickTheme::textPrimary();
    const QColor secondary = TarnwickTheme::textSecondary();
    const QColor tertiary = TarnwickTheme::textTertiary();
    const int left = r.x() + kOuter + kInner;
    const int right = r.right() - kOuter - kInner + 1;

    switch (item.kind) {
        case Kind::header:
        case Kind::binHeader: {
            QRect line(left, r.y() + 8, right - left, r.height() - 10);
            const QString icon = model->headerIcon(row);
            if (!icon.isEmpty()) {
                const QPixmap glyph = symbol(icon, secondary, 9);
                p->drawPixmap(line.x(), line.y() + (line.height() - 9) / 2, glyph);
                line.setLeft(line.x() + 9 + 4);
            }
            QFont f = font(10, QFont::DemiBold);
            f.setLetterSpacing(QFont::AbsoluteSpacing, 0.6);
            drawLine(p, line, model->text(row).toUpper(), f, secondary);
            if (item.kind == Kind::binHeader)
                drawLine(p, QRect(left, r.y() + 8, right - left, r.height() - 10), QStringLiteral("Empty bin"),
                         font(11, QFont::Medium), TarnwickTheme::destructive(), std::nullopt, Qt::AlignRight);
            break;
        }
        case Kind::hint: {
            // Laid out as it was measured, so the lines always fit the row.
            const auto* view = qobject_cast<const QAbstractItemView*>(option.widget);
            const HintLayout hint = hintLayout(model->text(row), view ? view->viewport()->width() : r.width());
            p->setFont(font(12.5));
            p->setPen(secondary);
            const qreal top = r.y() + (r.height() - hint.lines.size() * hint.lineHeight) / 2.0;
            for (int i = 0; i < hint.lines.size(); ++i) {
                // Plain text: a hint can hold the user's query.
                const QRectF lineRect(r.x() + kOuter + kInner, top + i * hint.lineHeight, hint.textWidth,
                                      hint.lineHeight);
                p->drawText(lineRect, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine, hint.lines[i]);
            }
            break;
        }
        case Kind::actions: {
            p->fillRect(r, withAlpha(primary, 0.05));
            const auto chips = chipCommands(index);
            const auto rects = chipRects(r, chips);
            for (int i = 0; i < chips.size(); ++i) {
                drawLine(p, rects[i], chips[i].title, font(11.5, QFont::Medium),
                         chips[i].destructive ? TarnwickTheme::destructive() : primary);
                // The keyboard's chip; the pointer needs no ring.
                if (i == model->focusedAction())
                    TarnwickStyle::drawFocusRing(*p, QRectF(rects[i]).adjusted(-5, 4, 5, -4), 4);
            }
            break;
        }
        case Kind::note:
        case Kind::capture:
        case Kind::binNote: {
            const auto t = model->texts(row);
            const QRect line = r.adjusted(0, 0, 0, -1);
            const bool selected = model->selectedRow() == item.row;
            const bool hovered = row == m_hovered;
            if (selected || hovered) {
                QPainterPath path;
                path.addRoundedRect(QRectF(line.adjusted(kOuter, 0, -kOuter, 0)), 6, 6);
                p->fillPath(path, TarnwickTheme::accentWash());
            }
            int x = left;
            const int midY = line.y() + line.height() / 2;
            if (item.kind == Kind::capture) {
                const QImage icon = AppIconCache::shared().icon(t.bundleID);
                if (!icon.isNull())
                    p->drawImage(QRect(x, midY - 8, 16, 16), icon);
                else
                    p->drawPixmap(x + 1, midY - 7, symbol(QStringLiteral("text.quote"), secondary, 13));
            } else {
                const QColor badge = item.kind == Kind::binNote ? withAlpha(t.badge, 0.5) : t.badge;
                p->drawPixmap(x, midY - kGlyph / 2, symbol(QStringLiteral("note.text"), badge, kGlyph));
            }
            x += 16 + 10;
            const RowMarks marks = rowMarks(r, item.kind, t);
            const int textRight = marks.textRight;

            // Trailing marks before the slot: a capture's source, or a note's lock and pin.
            if (!marks.source.isNull()) drawLine(p, marks.source, t.source, font(11), tertiary);
            if (!marks.pin.isNull())
                p->drawPixmap(marks.pin.topLeft(),
                              symbol(QStringLiteral("pin.fill"), withAlpha(TarnwickTheme::accent(), 0.9), 10));
            if (!marks.lock.isNull()) {
                const QPixmap lock =
                    t.redacted ? symbol(QStringLiteral("lock.fill"), tertiary, 10)
                               : symbol(QStringLiteral("lock.open.fill"), withAlpha(TarnwickTheme::accent(), 0.9), 10);
                p->drawPixmap(marks.lock.topLeft(), lock);
            }

            const QColor titleColour = item.kind == Kind::binNote ? secondary : primary;
            if (t.secondLine) {
                drawLine(p, QRect(x, line.y() + 5, textRight - x, 18), t.title, font(13), titleColour);
                drawLine(p, QRect(x, line.y() + 23, textRight - x, 16), *t.secondLine, font(11.5), secondary, t.match);
            } else {
                drawLine(p, QRect(x, line.y(), textRight - x, line.height()), t.title, font(13), titleColour);
            }

            // The slot: the time stamp, traded for the commands while the pointer is over the row.
            if (hovered) {
                const auto commands = hoverCommands(index);
                const auto rects = hoverIconRects(r, int(commands.size()));
                for (int i = 0; i < commands.size(); ++i) {
                    const QColor c = commands[i].destructive ? TarnwickTheme::destructive() : secondary;
                    p->drawPixmap(rects[i].x() + 5, rects[i].y() + 5, symbol(commands[i].icon, c, 12));
                }
            } else {
                const int slot = slotWidth();
                drawLine(p, QRect(right - slot, line.y(), slot, line.height()), slotText(t), slotFont(), tertiary,
                         std::nullopt, Qt::AlignRight);
            }
            break;
        }
    }
    p->restore();
}
