#pragma once

#include <QString>
#include <QStringList>
#include <memory>

// Spelling of words in the user's language. The desktop's checker stands behind it (Enchant, with the
// user's locale and US English as the fallback); tests hand in their own.
class SpellChecker {
public:
    virtual ~SpellChecker() = default;

    // False when no dictionary could be had: nothing is marked then.
    virtual bool isAvailable() const = 0;
    virtual bool isCorrect(QStringView word) = 0;
    virtual QStringList suggestions(QStringView word, int limit) = 0;
    // Accepts a word for the rest of this run.
    virtual void ignore(const QString& word) = 0;
    // Adds a word to the user's personal word list, kept across runs.
    virtual void learn(const QString& word) = 0;

    // The desktop's checker, made on first use and kept for the process. Never null.
    static SpellChecker& desktop();
    // A checker over Enchant for a language tag ("en_US"); unavailable when the tag has no dictionary.
    static std::unique_ptr<SpellChecker> enchant(const QString& language);
};
