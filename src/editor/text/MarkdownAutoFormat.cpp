#include "editor/text/MarkdownAutoFormat.h"

#include <algorithm>
#include <array>
#include <limits>

#include "model/text/GraphemeMap.h"
#include "model/text/RichTextBridge.h"

namespace {

using Self = MarkdownAutoFormat;

// Positions below are UTF-16 offsets; the public entry points convert from and to characters. Line breaks
// and list markers are single-unit clusters, so edits made at these offsets never split a cluster.
struct Line {
    qsizetype start;
    qsizetype end;
};

std::vector<Line> utf16Lines(const QString& text)
{
    std::vector<Line> lines;
    qsizetype start = 0;
    for (qsizetype i = text.indexOf(u'\n'); i >= 0; i = text.indexOf(u'\n', i + 1)) {
        lines.push_back({start, i});
        start = i + 1;
    }
    lines.push_back({start, text.size()});
    return lines;
}

// Lines touched by a selection; a caret selects the line it stands in, also at the line's end.
std::vector<size_t> selectedLines(const std::vector<Line>& lines, qsizetype selStart, qsizetype selEnd)
{
    std::vector<size_t> selected;
    for (size_t i = 0; i < lines.size(); ++i)
        if (selStart <= lines[i].end && lines[i].start <= selEnd) selected.push_back(i);
    return selected;
}

bool boundaryAt(const QString& text, qsizetype position)
{
    if (position <= 0 || position >= text.size()) return true;
    // Below U+0300 nothing joins a cluster except CR LF, so the common case needs no cluster walk.
    const QChar before = text[position - 1];
    const QChar after = text[position];
    if (before.unicode() < 0x300 && after.unicode() < 0x300) return !(before == u'\r' && after == u'\n');
    return GraphemeMap(text).isBoundary(position);
}

// Leading spaces that stand alone: a space carrying a combining mark is text, not indentation.
qsizetype leadingSpaces(const QString& line)
{
    qsizetype n = 0;
    while (n < line.size() && line[n] == u' ') ++n;
    if (n > 0 && !boundaryAt(line, n)) --n;
    return n;
}

// True when line has marker at position as whole characters (no mark joins its last one).
bool hasMarkerAt(const QString& line, qsizetype position, QStringView marker)
{
    return QStringView(line).mid(position).startsWith(marker) && boundaryAt(line, position + marker.size());
}

void replace(AttributedText& text, qsizetype start, qsizetype length, const QString& with,
             const TextAttributes& attributes = {})
{
    text.replace(start, length, AttributedText(with, attributes));
}

void setDone(AttributedText& text, qsizetype from, qsizetype to)
{
    if (from >= to) return;
    text.modify(from, to - from, [](TextAttributes& a) {
        a.strikethrough = 1;
        a.foreground = Self::doneColor();
    });
}

void setPlain(AttributedText& text, qsizetype from, qsizetype to, const TextAttributes& typing)
{
    if (from >= to) return;
    text.modify(from, to - from, [&](TextAttributes& a) {
        a.strikethrough = 0;
        a.foreground = typing.foreground;
    });
}

bool isGlyphMarker(const QString& marker)
{
    return marker == Self::bulletMarker || marker == Self::openMarker || marker == Self::doneMarker;
}

// A continued run past the largest value keeps that value rather than wrapping to a negative one.
qint64 successor(qint64 value)
{
    return value == std::numeric_limits<qint64>::max() ? value : value + 1;
}

// Roman numerals only read back up to fifteen "m"; larger values are written in digits, which every depth
// also reads, instead of a string of millions of letters.
constexpr qint64 largestRoman = 15000;

// The ordinal of a marker written into the text: in the style asked for when it reads back as the same
// number, else in digits (which every depth reads), so a written marker never stops being an item.
QString markerOrdinal(qint64 number, Self::Ordinal style)
{
    const QString text = Self::ordinalText(number, style);
    return Self::ordinalValue(text, style) == number ? text : QString::number(number);
}

TextFont heading(qreal size)
{
    return TextFont{QString(), size, 600, false};
}

std::optional<Self::Outcome> returnRule(AttributedText& text, qsizetype lineStart, qsizetype caret,
                                        const TextFont& base, const TextAttributes& typing)
{
    const qsizetype breakAt = caret - 1;
    const QString line = text.text().mid(lineStart, breakAt - lineStart);
    const auto action = Self::returnAction(line);
    const std::optional<TextFont> bodyTyping;
    qsizetype newCaret = caret;
    if (!action) {
        if (line.isEmpty()) return std::nullopt;
        const TextFont font = text.attributesAt(lineStart).font.value_or(base);
        if (font.pointSize < 16) return std::nullopt;
        return Self::Outcome{GraphemeMap(text.text()).toGrapheme(caret), bodyTyping};
    }
    switch (action->kind) {
        case Self::ReturnAction::Kind::continueList:
            replace(text, caret, 0, action->text, typing);
            newCaret = caret + action->text.size();
            break;
        case Self::ReturnAction::Kind::replaceLine:
            replace(text, lineStart, caret - lineStart, action->text, typing);
            newCaret = lineStart + action->text.size();
            break;
        case Self::ReturnAction::Kind::endList:
            text.remove(lineStart, caret - lineStart);
            newCaret = lineStart;
            break;
    }
    return Self::Outcome{GraphemeMap(text.text()).toGrapheme(newCaret), bodyTyping};
}

std::optional<Self::Outcome> boldRule(AttributedText& text, const GraphemeMap& map, qsizetype lineStart,
                                      qsizetype caret, const TextFont& base)
{
    // The character before the typed "*" must be a "*" of its own, on the same line.
    const qsizetype typed = map.toGrapheme(caret - 1);
    if (map.toGrapheme(lineStart) > typed - 1 || map.at(typed - 1) != u"*") return std::nullopt;
    const QString body = text.text().mid(lineStart, caret - 2 - lineStart);
    qsizetype open = body.lastIndexOf(QStringLiteral("**"));
    while (open >= 0 && !(map.isBoundary(lineStart + open) && map.isBoundary(lineStart + open + 2)))
        open = open == 0 ? -1 : body.lastIndexOf(QStringLiteral("**"), open - 1);
    if (open < 0) return std::nullopt;
    const QString inner = body.mid(open + 2);
    if (inner.isEmpty() || inner.contains(u'*')) return std::nullopt;
    const qsizetype opening = lineStart + open;
    AttributedText styled = text.mid(opening + 2, inner.size());
    styled.modify(0, styled.length(), [&](TextAttributes& a) {
        TextFont font = a.font.value_or(base);
        font.weight = std::max(font.weight, 700);
        a.font = font;
    });
    text.replace(opening, caret - opening, styled);
    return Self::Outcome{GraphemeMap(text.text()).toGrapheme(opening + inner.size()), std::optional<TextFont>()};
}

std::optional<Self::Outcome> markerRule(AttributedText& text, qsizetype lineStart, qsizetype caret,
                                        const TextAttributes& typing)
{
    struct Rule {
        QStringView token;
        QStringView replacement;
        qreal headingSize;  // 0: a list marker
    };
    static constexpr std::array<Rule, 9> rules{{
        {u"- ", Self::bulletMarker, 0},
        {u"* ", Self::bulletMarker, 0},
        {u"+ ", Self::bulletMarker, 0},
        {u"[] ", Self::openMarker, 0},
        {u"[ ] ", Self::openMarker, 0},
        {u"- [ ] ", Self::openMarker, 0},
        {u"* [ ] ", Self::openMarker, 0},
        {u"# ", {}, 20},
        {u"## ", {}, 17},
    }};
    const QString line = text.text().mid(lineStart, caret - lineStart);
    const qsizetype indent = leadingSpaces(line);
    const QStringView token = QStringView(line).mid(indent);
    for (const Rule& rule : rules) {
        if (token != rule.token) continue;
        if (rule.headingSize > 0) {
            if (indent != 0) return std::nullopt;
            text.remove(lineStart, caret - lineStart);
            return Self::Outcome{GraphemeMap(text.text()).toGrapheme(lineStart),
                                 std::optional<TextFont>(heading(rule.headingSize))};
        }
        const qsizetype markerStart = lineStart + indent;
        replace(text, markerStart, caret - markerStart, rule.replacement.toString(), typing);
        return Self::Outcome{GraphemeMap(text.text()).toGrapheme(markerStart + rule.replacement.size()), std::nullopt};
    }
    return std::nullopt;
}

}  // namespace

const QColor& MarkdownAutoFormat::doneColor()
{
    return RichTextBridge::doneColor();
}

MarkdownAutoFormat::Ordinal MarkdownAutoFormat::ordinalStyle(qsizetype depth)
{
    switch (((depth % 3) + 3) % 3) {
        case 1:
            return Ordinal::lowerAlpha;
        case 2:
            return Ordinal::lowerRoman;
        default:
            return Ordinal::decimal;
    }
}

std::optional<MarkdownAutoFormat::Outcome> MarkdownAutoFormat::apply(AttributedText& text, qsizetype caret,
                                                                     const TextFont& base, const TextAttributes& typing)
{
    const GraphemeMap map(text.text());
    if (caret < 1 || caret > map.count()) return std::nullopt;
    const QStringView typed = map.at(caret - 1);
    const qsizetype typedAt = map.toUtf16(caret - 1);
    const qsizetype caretAt = map.toUtf16(caret);
    const qsizetype lineStart = typedAt == 0 ? 0 : text.text().lastIndexOf(u'\n', typedAt - 1) + 1;
    if (typed == u"\n") return returnRule(text, lineStart, caretAt, base, typing);
    if (typed == u"*") return boldRule(text, map, lineStart, caretAt, base);
    if (typed == u" ") return markerRule(text, lineStart, caretAt, typing);
    return std::nullopt;
}

std::optional<MarkdownAutoFormat::ListItem> MarkdownAutoFormat::listItem(const QString& line)
{
    const qsizetype indent = leadingSpaces(line);
    for (QStringView marker : {doneMarker, openMarker, bulletMarker})
        if (hasMarkerAt(line, indent, marker)) return ListItem{indent, marker.toString(), marker.size()};
    const QString rest = line.mid(indent);
    const auto ordered = orderedMarker(rest, indent / 4);
    if (!ordered) return std::nullopt;
    return ListItem{indent, rest.left(ordered->markerCount), ordered->markerCount};
}

std::optional<MarkdownAutoFormat::OrderedMarker> MarkdownAutoFormat::orderedMarker(const QString& rest, qsizetype depth)
{
    qsizetype delimiterAt = -1;
    for (qsizetype i = 0; i < rest.size() && delimiterAt < 0; ++i)
        if (rest[i] == u'.' || rest[i] == u')') delimiterAt = i;
    if (delimiterAt <= 0) return std::nullopt;
    if (delimiterAt + 1 >= rest.size() || rest[delimiterAt + 1] != u' ') return std::nullopt;
    if (!boundaryAt(rest, delimiterAt + 2)) return std::nullopt;
    const QString ordinal = rest.left(delimiterAt);
    std::vector<Ordinal> styles{Ordinal::decimal};
    if (depth >= 1) styles = {ordinalStyle(depth), Ordinal::decimal, Ordinal::lowerAlpha, Ordinal::lowerRoman};
    for (Ordinal style : styles)
        if (const auto value = ordinalValue(ordinal, style))
            return OrderedMarker{*value, style, rest[delimiterAt], delimiterAt + 2};
    return std::nullopt;
}

std::optional<qint64> MarkdownAutoFormat::ordinalValue(const QString& text, Ordinal style)
{
    if (text.isEmpty()) return std::nullopt;
    switch (style) {
        case Ordinal::decimal: {
            if (!std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
                return std::nullopt;
            bool ok = false;
            const qint64 value = text.toLongLong(&ok);
            if (!ok || value < 1) return std::nullopt;
            return value;
        }
        case Ordinal::lowerAlpha: {
            if (text.size() > 2) return std::nullopt;
            qint64 value = 0;
            for (QChar c : text) {
                if (c < u'a' || c > u'z') return std::nullopt;
                value = value * 26 + (c.unicode() - u'a' + 1);
            }
            return value;
        }
        case Ordinal::lowerRoman: {
            if (text.size() > 15) return std::nullopt;
            qint64 total = 0;
            qint64 largest = 0;
            for (auto it = text.crbegin(); it != text.crend(); ++it) {
                qint64 value = 0;
                switch (it->unicode()) {
                    case u'i':
                        value = 1;
                        break;
                    case u'v':
                        value = 5;
                        break;
                    case u'x':
                        value = 10;
                        break;
                    case u'l':
                        value = 50;
                        break;
                    case u'c':
                        value = 100;
                        break;
                    case u'd':
                        value = 500;
                        break;
                    case u'm':
                        value = 1000;
                        break;
                    default:
                        return std::nullopt;
                }
                if (value < largest) {
                    total -= value;
                } else {
                    total += value;
                    largest = value;
                }
            }
            if (total < 1 || ordinalText(total, Ordinal::lowerRoman) != text) return std::nullopt;
            return total;
        }
    }
    return std::nullopt;
}

QString MarkdownAutoFormat::ordinalText(qint64 number, Ordinal style)
{
    if (number < 1 || style == Ordinal::decimal) return QString::number(number);
    QString text;
    if (style == Ordinal::lowerAlpha) {
        qint64 v = 0;
        do {
            v = number - 1;
            text.prepend(QChar(u'a' + int(v % 26)));
            number = v / 26;
        } while (v >= 26);
        return text;
    }
    if (number > largestRoman) return QString::number(number);
    static constexpr std::array<std::pair<qint64, const char*>, 13> numerals{{
        {1000, "m"},
        {900, "cm"},
        {500, "d"},
        {400, "cd"},
        {100, "c"},
        {90, "xc"},
        {50, "l"},
        {40, "xl"},
        {10, "x"},
        {9, "ix"},
        {5, "v"},
        {4, "iv"},
        {1, "i"},
    }};
    for (const auto& [value, letters] : numerals) {
        for (; number >= value; number -= value) text += QLatin1String(letters);
    }
    return text;
}

std::optional<QString> MarkdownAutoFormat::OrderedNumbering::marker(const QString& line)
{
    const auto item = listItem(line);
    if (!item) {
        runs.clear();
        return std::nullopt;
    }
    const qsizetype depth = item->indent / 4;
    const auto ordered = isGlyphMarker(item->marker) ? std::nullopt : orderedMarker(line.mid(item->indent), depth);
    if (!ordered) {
        runs.erase(runs.lower_bound(depth), runs.end());
        return std::nullopt;
    }
    runs.erase(runs.upper_bound(depth), runs.end());
    const auto existing = runs.find(depth);
    const Run run = existing != runs.end() ? Run{successor(existing->second.value), existing->second.delimiter}
                                           : Run{ordered->number, ordered->delimiter};
    runs[depth] = run;
    return markerOrdinal(run.value, ordinalStyle(depth)) + run.delimiter + u' ';
}

std::optional<MarkdownAutoFormat::ReturnAction> MarkdownAutoFormat::returnAction(const QString& prevLine)
{
    const auto item = listItem(prevLine);
    if (!item) return std::nullopt;
    const qsizetype depth = item->indent / 4;
    const auto ordered = isGlyphMarker(item->marker) ? std::nullopt : orderedMarker(prevLine.mid(item->indent), depth);
    if (prevLine.size() > item->indent + item->markerLength) {
        QString prefix(item->indent, u' ');
        if (item->marker == bulletMarker) {
            prefix += bulletMarker;
        } else if (item->marker == openMarker || item->marker == doneMarker) {
            prefix += openMarker;
        } else {
            if (!ordered) return std::nullopt;
            prefix += markerOrdinal(successor(ordered->number), ordered->style) + ordered->delimiter + u' ';
        }
        return ReturnAction{ReturnAction::Kind::continueList, prefix};
    }
    if (item->indent == 0) return ReturnAction{ReturnAction::Kind::endList, {}};
    const qsizetype newIndent = std::max<qsizetype>(item->indent - 4, 0);
    QString marker = item->marker == doneMarker ? openMarker.toString() : item->marker;
    if (ordered) marker = ordinalText(1, ordinalStyle(newIndent / 4)) + QStringLiteral(". ");
    return ReturnAction{ReturnAction::Kind::replaceLine, QString(newIndent, u' ') + marker};
}

std::optional<MarkdownAutoFormat::Selection> MarkdownAutoFormat::toggleList(AttributedText& text, qsizetype selStart,
                                                                            qsizetype selEnd, bool ordered,
                                                                            const TextAttributes& typing)
{
    const GraphemeMap before(text.text());
    const std::vector<Line> lines = utf16Lines(text.text());
    std::vector<size_t> kept;
    for (size_t i :
         selectedLines(lines, before.toUtf16(std::min(selStart, selEnd)), before.toUtf16(std::max(selStart, selEnd))))
        if (lines[i].start < lines[i].end) kept.push_back(i);
    if (kept.empty()) return std::nullopt;

    const QString original = text.text();
    auto lineText = [&](size_t i) { return original.mid(lines[i].start, lines[i].end - lines[i].start); };
    const bool allMatch = std::all_of(kept.begin(), kept.end(), [&](size_t i) {
        const auto item = listItem(lineText(i));
        return item && (ordered ? !isGlyphMarker(item->marker) : item->marker == bulletMarker);
    });

    for (size_t k = kept.size(); k-- > 0;) {
        const Line& line = lines[kept[k]];
        const QString lineString = lineText(kept[k]);
        const QString marker = ordered ? QString::number(k + 1) + QStringLiteral(". ") : bulletMarker.toString();
        const qsizetype contentStart = line.start + leadingSpaces(lineString);
        const auto item = listItem(lineString);
        if (!item) {
            if (!allMatch) replace(text, contentStart, 0, marker, typing);
            continue;
        }
        if (item->marker == doneMarker) setPlain(text, contentStart + item->markerLength, line.end, typing);
        replace(text, contentStart, item->markerLength, allMatch ? QString() : marker, typing);
    }

    const std::vector<Line> after = utf16Lines(text.text());
    const GraphemeMap map(text.text());
    return Selection{map.toGrapheme(after[kept.front()].start),
                     map.toGrapheme(after[std::min(kept.back(), after.size() - 1)].end)};
}

std::optional<MarkdownAutoFormat::Selection> MarkdownAutoFormat::toggleDone(AttributedText& text, qsizetype selStart,
                                                                            qsizetype selEnd,
                                                                            const TextAttributes& typing)
{
    const GraphemeMap before(text.text());
    const QString original = text.text();
    const std::vector<Line> lines = utf16Lines(original);
    const std::vector<size_t> selected =
        selectedLines(lines, before.toUtf16(std::min(selStart, selEnd)), before.toUtf16(std::max(selStart, selEnd)));
    bool processed = false;
    for (auto it = selected.rbegin(); it != selected.rend(); ++it) {
        const Line& line = lines[*it];
        if (line.start == line.end) continue;
        const QString lineString = original.mid(line.start, line.end - line.start);
        const qsizetype indent = leadingSpaces(lineString);
        const qsizetype c = line.start + indent;
        const qsizetype e = line.end;
        if (hasMarkerAt(lineString, indent, doneMarker)) {
            replace(text, c, 2, openMarker.toString(), typing);
            setPlain(text, c + 2, e, typing);
        } else if (hasMarkerAt(lineString, indent, openMarker) || hasMarkerAt(lineString, indent, bulletMarker)) {
            replace(text, c, 2, doneMarker.toString(), typing);
            setDone(text, c + 2, e);
        } else {
            replace(text, c, 0, doneMarker.toString(), typing);
            setDone(text, c + 2, e + 2);
        }
        processed = true;
    }
    if (!processed) return std::nullopt;

    const std::vector<Line> after = utf16Lines(text.text());
    const GraphemeMap map(text.text());
    return Selection{map.toGrapheme(after[selected.front()].start),
                     map.toGrapheme(after[std::min(selected.back(), after.size() - 1)].end)};
}

std::optional<MarkdownAutoFormat::Selection> MarkdownAutoFormat::shiftIndent(AttributedText& text, qsizetype selStart,
                                                                             qsizetype selEnd, int direction,
                                                                             const TextAttributes& typing)
{
    const GraphemeMap before(text.text());
    const QString original = text.text();
    const std::vector<Line> lines = utf16Lines(original);
    qsizetype start = before.toUtf16(std::min(selStart, selEnd));
    qsizetype end = before.toUtf16(std::max(selStart, selEnd));
    const std::vector<size_t> selected = selectedLines(lines, start, end);
    bool changed = false;
    for (auto it = selected.rbegin(); it != selected.rend(); ++it) {
        const Line& line = lines[*it];
        const QString lineString = original.mid(line.start, line.end - line.start);
        const auto item = listItem(lineString);
        if (!item) continue;
        const qsizetype indent = item->indent;
        qsizetype delta = 0;
        if (direction <= 0) {
            const qsizetype remove = std::min<qsizetype>(indent, 4);
            if (remove == 0) continue;
            text.remove(line.start, remove);
            delta = -remove;
        } else {
            // Four levels of four spaces is as deep as a list goes.
            if (indent >= 16) continue;
            replace(text, line.start, 0, QStringLiteral("    "), typing);
            delta = 4;
        }
        if (!isGlyphMarker(item->marker)) {
            if (const auto ordered = orderedMarker(lineString.mid(indent), indent / 4)) {
                const qsizetype newIndent = std::max<qsizetype>(indent + delta, 0);
                const QString marker =
                    markerOrdinal(ordered->number, ordinalStyle(newIndent / 4)) + ordered->delimiter + u' ';
                if (marker != item->marker) {
                    replace(text, line.start + newIndent, ordered->markerCount, marker,
                            text.attributesAt(line.start + newIndent));
                    delta += marker.size() - ordered->markerCount;
                }
            }
        }
        if (line.start <= start) start = std::max(start + delta, line.start);
        if (line.start <= end) end = std::max(end + delta, line.start);
        changed = true;
    }
    if (!changed) return std::nullopt;
    const GraphemeMap map(text.text());
    return Selection{map.toGrapheme(start), map.toGrapheme(end)};
}
