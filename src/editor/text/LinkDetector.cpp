#include "editor/text/LinkDetector.h"

namespace {

bool isWordBreak(QChar c)
{
    return c.isSpace() || c == QChar(0xFFFC);
}

bool startsWith(QStringView s, QLatin1StringView prefix)
{
    return s.startsWith(prefix, Qt::CaseInsensitive);
}

// Characters that may open a quotation or bracket before an address.
bool isOpener(QChar c)
{
    static const QString openers = QStringLiteral("(\"'<[{\u201C\u2018\u00AB");
    return openers.contains(c);
}

bool isTrailingPunctuation(QChar c)
{
    static const QString trailing = QStringLiteral(".,;:!?'\"<>\u2019\u201D\u00BB\u2026");
    return trailing.contains(c);
}

// A closing bracket belongs to the address only when the address opened it (wiki-style paths).
bool isUnbalancedCloser(QStringView s)
{
    const QChar last = s.back();
    QChar open;
    if (last == u')')
        open = u'(';
    else if (last == u']')
        open = u'[';
    else if (last == u'}')
        open = u'{';
    else
        return false;
    return s.count(open) < s.count(last);
}

bool isRefused(QChar c)
{
    // Control and format characters (bidi overrides, zero-width joiners) could make an address read
    // as another; quotes, angle brackets and backslashes never belong in one typed as text.
    const QChar::Category category = c.category();
    return category == QChar::Other_Control || category == QChar::Other_Format || category == QChar::Other_Surrogate ||
           category == QChar::Other_PrivateUse || category == QChar::Other_NotAssigned || c == u'<' || c == u'>' ||
           c == u'"' || c == u'\\';
}

bool hasHost(const QUrl& url)
{
    const QString host = url.host();
    return !host.isEmpty() && std::any_of(host.begin(), host.end(), [](QChar c) { return c.isLetterOrNumber(); });
}

}  // namespace

std::optional<QUrl> LinkDetector::linkFor(QStringView candidate)
{
    if (candidate.isEmpty() || std::any_of(candidate.begin(), candidate.end(), isRefused)) return std::nullopt;
    if (startsWith(candidate, QLatin1StringView("http://")) || startsWith(candidate, QLatin1StringView("https://"))) {
        const QUrl url(candidate.toString(), QUrl::StrictMode);
        if (!url.isValid() || !hasHost(url)) return std::nullopt;
        return url;
    }
    if (startsWith(candidate, QLatin1StringView("www."))) {
        const QStringView rest = candidate.mid(4);
        if (rest.isEmpty() || !rest.front().isLetterOrNumber()) return std::nullopt;
        const QUrl url(QStringLiteral("https://") + candidate.toString(), QUrl::StrictMode);
        if (!url.isValid() || !hasHost(url) || !url.host().contains(u'.')) return std::nullopt;
        return url;
    }
    if (startsWith(candidate, QLatin1StringView("mailto:"))) {
        const QStringView address = candidate.mid(7);
        const qsizetype at = address.indexOf(u'@');
        if (at <= 0 || at + 1 >= address.size()) return std::nullopt;
        const QUrl url(candidate.toString(), QUrl::StrictMode);
        if (!url.isValid()) return std::nullopt;
        return url;
    }
    return std::nullopt;
}

std::optional<LinkDetector::Found> LinkDetector::inWord(const QString& text, qsizetype start, qsizetype end)
{
    while (start < end && isOpener(text[start])) ++start;
    while (end > start) {
        const QStringView s = QStringView(text).mid(start, end - start);
        if (isTrailingPunctuation(s.back()) || isUnbalancedCloser(s))
            --end;
        else
            break;
    }
    if (end <= start) return std::nullopt;
    const auto url = linkFor(QStringView(text).mid(start, end - start));
    if (!url) return std::nullopt;
    return Found{start, end - start, *url};
}

std::optional<LinkDetector::Found> LinkDetector::addressEndingAt(const QString& text, qsizetype end)
{
    end = std::clamp<qsizetype>(end, 0, text.size());
    qsizetype start = end;
    // Nobody types an address this long; a pasted megabyte line is not walked back over.
    const qsizetype floor = std::max<qsizetype>(0, end - 4096);
    while (start > floor && !isWordBreak(text[start - 1])) --start;
    if (start == floor && floor > 0 && !isWordBreak(text[start - 1])) return std::nullopt;
    return inWord(text, start, end);
}

std::vector<LinkDetector::Found> LinkDetector::addressesIn(const QString& text)
{
    std::vector<Found> found;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        while (i < n && isWordBreak(text[i])) ++i;
        const qsizetype start = i;
        while (i < n && !isWordBreak(text[i])) ++i;
        if (i > start && i - start <= 4096)
            if (auto f = inWord(text, start, i)) found.push_back(*f);
    }
    return found;
}
