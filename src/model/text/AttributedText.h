#pragma once

#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>
#include <QUrl>
#include <algorithm>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

// A concrete font: the editor and the stored runs only need family, size and the bold/italic traits.
struct TextFont {
    QString family;  // empty: the desktop's system font
    qreal pointSize = 14.5;
    int weight = 400;  // 100..900; 600 (semibold) and above count as bold
    bool italic = false;

    bool isBold() const { return weight >= 600; }
    friend bool operator==(const TextFont&, const TextFont&) = default;

    // Sizes here are design points (one per pixel at 96 dpi); Qt's points are 1/72 inch, so a Qt font
    // is 0.75 of the design size. Metrics of the Qt font then come out in design points again.
    static constexpr qreal qtPointsPerDesignPoint = 0.75;
    QFont toQFont() const;
    static TextFont fromQFont(const QFont& font);
};

struct ParagraphStyle {
    qreal lineSpacing = 0;
    qreal firstLineHeadIndent = 0;
    qreal headIndent = 0;
    qreal paragraphSpacing = 0;  // space below the paragraph
    friend bool operator==(const ParagraphStyle&, const ParagraphStyle&) = default;
};

// A picture inside text: the bytes of the file it came from, or a decoded image.
struct TextAttachment {
    QByteArray fileContents;
    QImage image;
};

// A link is kept as a URL when it parsed as one, otherwise as the text it was given.
using TextLink = std::variant<QUrl, QString>;

struct TextAttributes {
    std::optional<TextFont> font;
    std::optional<QColor> foreground;
    std::optional<QColor> background;
    int underline = 0;      // 0 none, 1 single; other values are other styles (double, thick, ...)
    int strikethrough = 0;  // same values as underline
    std::optional<TextLink> link;
    std::optional<ParagraphStyle> paragraphStyle;
    // Attachments are shared: two characters may show the same picture object.
    std::shared_ptr<const TextAttachment> attachment;
    // The width in points at which an attachment was drawn (legacy bodies keep it beside the picture).
    std::optional<double> imageWidth;

    friend bool operator==(const TextAttributes&, const TextAttributes&) = default;
};

// A string with attribute runs over UTF-16 positions, standing in for the attributed strings of the text
// system. Runs always cover the whole text, in order, and neighbouring runs never hold equal attributes.
class AttributedText {
public:
    struct Run {
        qsizetype start = 0;
        qsizetype length = 0;
        TextAttributes attributes;
        friend bool operator==(const Run&, const Run&) = default;
    };

    AttributedText() = default;
    explicit AttributedText(const QString& text, const TextAttributes& attributes = {});

    const QString& text() const { return m_text; }
    qsizetype length() const { return m_text.size(); }
    bool isEmpty() const { return m_text.isEmpty(); }

    // The longest ranges of equal attributes, in text order; empty for an empty text.
    const std::vector<Run>& runs() const { return m_runs; }
    // Attributes at a position; default attributes outside the text.
    TextAttributes attributesAt(qsizetype position) const;

    // Replaces the attributes of a range (clipped to the text).
    void setAttributes(qsizetype start, qsizetype length, const TextAttributes& attributes);
    // Calls change on the attributes of every run piece inside the range (clipped to the text).
    template <typename F>
    void modify(qsizetype start, qsizetype length, F change);

    // Calls change(attributes, i) on the attributes inside each range i, in one pass over the runs. The
    // ranges (start, length) are in text order and do not overlap.
    template <typename F>
    void modifyRanges(const std::vector<std::pair<qsizetype, qsizetype>>& ranges, F change);

    void append(const QString& text, const TextAttributes& attributes = {});
    void append(const AttributedText& other);
    // The range (clipped to the text) with its attributes.
    AttributedText mid(qsizetype start, qsizetype length) const;
    // Whether the text begins with all of `prefix`, characters and attributes alike (without copying).
    bool startsWith(const AttributedText& prefix) const;
    void remove(qsizetype start, qsizetype length);
    // Replaces a range (clipped to the text) by another text with its attributes, touching only the runs
    // around it, so an edit in a long text costs little more than the string change.
    void replace(qsizetype start, qsizetype length, const AttributedText& with);
    struct Edit;
    // Replaces several ranges, in text order and not overlapping, in one pass over the text.
    void replaceRanges(const std::vector<Edit>& edits);
    // Deletes every occurrence of one UTF-16 unit.
    void removeAll(QChar character);

    friend bool operator==(const AttributedText&, const AttributedText&) = default;

private:
    // Splits the run containing position so that a run starts there; returns that run's index.
    size_t splitAt(qsizetype position);
    // Joins equal neighbours among the runs from first to last (indices, clamped).
    void normalizeAround(size_t first, size_t last);
    void appendRun(Run run);
    bool clip(qsizetype& start, qsizetype& length) const;

    QString m_text;
    std::vector<Run> m_runs;
};

struct AttributedText::Edit {
    qsizetype start = 0;
    qsizetype length = 0;
    AttributedText with;
};

template <typename F>
void AttributedText::modify(qsizetype start, qsizetype length, F change)
{
    if (!clip(start, length)) return;
    const size_t first = splitAt(start);
    const size_t last = splitAt(start + length);
    for (size_t i = first; i < last; ++i) change(m_runs[i].attributes);
    normalizeAround(first == 0 ? 0 : first - 1, last);
}

template <typename F>
void AttributedText::modifyRanges(const std::vector<std::pair<qsizetype, qsizetype>>& ranges, F change)
{
    if (ranges.empty()) return;
    std::vector<Run> runs;
    runs.reserve(m_runs.size() + 2 * ranges.size());
    auto push = [&runs](qsizetype start, qsizetype end, TextAttributes&& attributes) {
        if (end <= start) return;
        if (!runs.empty() && runs.back().attributes == attributes)
            runs.back().length += end - start;
        else
            runs.push_back({start, end - start, std::move(attributes)});
    };
    size_t r = 0;
    for (Run& run : m_runs) {
        const qsizetype end = run.start + run.length;
        for (qsizetype at = run.start; at < end;) {
            while (r < ranges.size() && ranges[r].first + ranges[r].second <= at) ++r;
            if (r == ranges.size() || ranges[r].first >= end) {
                push(at, end, TextAttributes(run.attributes));
                break;
            }
            if (ranges[r].first > at) {
                push(at, ranges[r].first, TextAttributes(run.attributes));
                at = ranges[r].first;
            }
            const qsizetype to = std::min(end, ranges[r].first + ranges[r].second);
            TextAttributes changed = run.attributes;
            change(changed, r);
            push(at, to, std::move(changed));
            at = to;
        }
    }
    m_runs = std::move(runs);
}
