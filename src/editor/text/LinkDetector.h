#pragma once

#include <QString>
#include <QUrl>
#include <optional>
#include <vector>

// Finds web and mail addresses in typed or pasted text. Only http, https and mailto addresses (and
// "www." with a host, taken as https) count; punctuation, closing quotes and unbalanced closing
// brackets after an address stay outside it, and a word holding control or bidi formatting characters
// is never an address, so what a link shows is what it opens.
class LinkDetector {
public:
    struct Found {
        qsizetype start = 0;
        qsizetype length = 0;
        QUrl url;
        friend bool operator==(const Found&, const Found&) = default;
    };

    // The address in the word that ends at `end` (the word starts after the last white space before it).
    static std::optional<Found> addressEndingAt(const QString& text, qsizetype end);
    // Every address among the words of a text.
    static std::vector<Found> addressesIn(const QString& text);
    // The link a candidate (already cut to the address) stands for, if it is one.
    static std::optional<QUrl> linkFor(QStringView candidate);

private:
    static std::optional<Found> inWord(const QString& text, qsizetype start, qsizetype end);
};
