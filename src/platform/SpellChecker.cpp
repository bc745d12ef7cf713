#include "platform/SpellChecker.h"

#include <enchant.h>
#include <QFileInfo>
#include <QLocale>
#include <QLoggingCategory>
#include <QStandardPaths>

#include "platform/PrivateFiles.h"

namespace {

Q_LOGGING_CATEGORY(spelling, "spelling")

class EnchantSpellChecker : public SpellChecker {
public:
    explicit EnchantSpellChecker(const QString& language) : m_broker(enchant_broker_init())
    {
        if (!m_broker) return;
        const QByteArray tag = language.toUtf8();
        if (enchant_broker_dict_exists(m_broker, tag.constData()))
            m_dict = enchant_broker_request_dict(m_broker, tag.constData());
        if (m_dict) restrictWordLists();  // made by an earlier run, or just now, with the umask's mode
    }
    ~EnchantSpellChecker() override
    {
        if (m_dict) enchant_broker_free_dict(m_broker, m_dict);
        if (m_broker) enchant_broker_free(m_broker);
    }

    bool isAvailable() const override { return m_dict != nullptr; }

    bool isCorrect(QStringView word) override
    {
        if (!m_dict || word.isEmpty()) return true;
        const QByteArray utf8 = word.toUtf8();
        // 0 is correct, positive misspelt, negative an error (which never marks a word).
        return enchant_dict_check(m_dict, utf8.constData(), utf8.size()) <= 0;
    }

    QStringList suggestions(QStringView word, int limit) override
    {
        QStringList list;
        if (!m_dict || word.isEmpty() || limit <= 0) return list;
        const QByteArray utf8 = word.toUtf8();
        size_t count = 0;
        char** found = enchant_dict_suggest(m_dict, utf8.constData(), utf8.size(), &count);
        for (size_t i = 0; found && i < count && list.size() < limit; ++i) list << QString::fromUtf8(found[i]);
        if (found) enchant_dict_free_string_list(m_dict, found);
        return list;
    }

    void ignore(const QString& word) override
    {
        if (!m_dict) return;
        const QByteArray utf8 = word.toUtf8();
        enchant_dict_add_to_session(m_dict, utf8.constData(), utf8.size());
    }

    void learn(const QString& word) override
    {
        if (!m_dict) return;
        const QByteArray utf8 = word.toUtf8();
        // Enchant keeps the personal word list under $XDG_CONFIG_HOME/enchant, with the umask's mode:
        // what the user writes is theirs alone to read.
        enchant_dict_add(m_dict, utf8.constData(), utf8.size());
        restrictWordLists();
    }

private:
    static void restrictWordLists()
    {
        const QString folder =
            QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/enchant");
        if (QFileInfo::exists(folder)) PrivateFiles::restrictTree(folder);
    }

    EnchantBroker* m_broker;
    EnchantDict* m_dict = nullptr;
};

}  // namespace

std::unique_ptr<SpellChecker> SpellChecker::enchant(const QString& language)
{
    return std::make_unique<EnchantSpellChecker>(language);
}

SpellChecker& SpellChecker::desktop()
{
    static const std::unique_ptr<SpellChecker> checker = [] {
        const QString language = QLocale::system().name();
        auto own = enchant(language);
        if (own->isAvailable()) return own;
        auto fallback = enchant(QStringLiteral("en_US"));
        if (!fallback->isAvailable())
            qCInfo(spelling, "No spelling dictionary for %s or en_US: words are not checked", qUtf8Printable(language));
        return fallback;
    }();
    return *checker;
}
