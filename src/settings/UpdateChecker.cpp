#include "settings/UpdateChecker.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include "platform/Clock.h"
#include "platform/Settings.h"

namespace {
const QString kCheckAutomatically = QStringLiteral("update.checkAutomatically");
const QString kLatestKnownVersion = QStringLiteral("update.latestKnownVersion");
const QString kLastCheckedAt = QStringLiteral("update.lastCheckedAt");

QUrl withPath(QUrl site, const QString& path)
{
    site.setPath(path);
    return site;
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Compares two runs of digits by value, without converting them (they may be longer than any integer).
int compareDigitRuns(QStringView a, QStringView b)
{
    auto stripZeros = [](QStringView run) {
        qsizetype i = 0;
        while (i < run.size() - 1 && run[i] == u'0') ++i;
        return run.mid(i);
    };
    a = stripZeros(a);
    b = stripZeros(b);
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
}
}  // namespace

bool UpdateChecker::builtWithUpdateCheck()
{
    return TARNWICK_UPDATE_CHECK;
}

QUrl UpdateConfig::manifestURL(const QUrl& site)
{
    return withPath(site, QStringLiteral("/updates.json"));
}
QUrl UpdateConfig::releasesURL(const QUrl& site)
{
    return withPath(site, QStringLiteral("/releases"));
}

UpdateChecker::UpdateChecker(QNetworkAccessManager& network, Settings& settings, const Clock& clock, const QUrl& site,
                             QObject* parent)
    : QObject(parent), m_network(network), m_settings(settings), m_clock(clock), m_site(site)
{
    const QVariant known = m_settings.value(kLatestKnownVersion);
    if (known.typeId() == QMetaType::QString) m_latestVersion = known.toString();
}

UpdateChecker::~UpdateChecker() = default;

bool UpdateChecker::isEnabled() const
{
    return m_settings.boolIfStored(kCheckAutomatically).value_or(true);
}

QString UpdateChecker::currentVersion() const
{
    const QString version = QCoreApplication::applicationVersion();
    return version.isEmpty() ? QStringLiteral("0") : version;
}

bool UpdateChecker::updateAvailable() const
{
    return m_latestVersion && compareVersions(*m_latestVersion, currentVersion()) > 0;
}

void UpdateChecker::checkIfDue()
{
    if (!builtWithUpdateCheck() || !isEnabled()) return;
    if (const auto last = m_settings.dateValue(kLastCheckedAt)) {
        // A date in the future gives a negative span and so counts as recent.
        if (last->secsTo(m_clock.now()) < kCheckIntervalSeconds) return;
    }
    check();
}

void UpdateChecker::check()
{
    if (!builtWithUpdateCheck()) return;
    if (m_inFlight++ == 0) Q_EMIT isCheckingChanged();
    QNetworkRequest request(manifestURL());
    request.setTransferTimeout(m_timeoutMs);
    QNetworkReply* reply = m_network.get(request);
    // Stop reading a reply that is already longer than any manifest (or says it will be).
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64 total) {
        if (received > kMaxManifestBytes || total > kMaxManifestBytes) {
            reply->setProperty("tooLarge", true);
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { finished(reply); });
}

std::optional<QString> UpdateChecker::decodeManifest(const QByteArray& document)
{
    if (document.size() > kMaxManifestBytes) return std::nullopt;
    const QJsonValue latest = QJsonDocument::fromJson(document).object().value(QStringLiteral("latestVersion"));
    if (!latest.isString()) return std::nullopt;
    const QString version = latest.toString();
    if (version.size() > kMaxVersionLength) return std::nullopt;
    for (const QChar c : version) {
        const QChar::Category category = c.category();
        if (category == QChar::Other_Control || category == QChar::Other_Format || category == QChar::Other_Surrogate ||
            category == QChar::Separator_Line || category == QChar::Separator_Paragraph)
            return std::nullopt;
    }
    return version;
}

void UpdateChecker::finished(QNetworkReply* reply)
{
    reply->deleteLater();
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const bool tooLarge = reply->property("tooLarge").toBool();
    // Only a complete 200 reply counts as a check: after a failed transfer or any other status the next
    // launch tries again. An oversized 200 reply is a reply all the same, just not a manifest.
    if (status.toInt() == 200 && (tooLarge || reply->error() == QNetworkReply::NoError)) {
        if (const auto version = tooLarge ? std::nullopt : decodeManifest(reply->read(kMaxManifestBytes + 1))) {
            setLatestVersion(*version);
            m_settings.setValue(kLatestKnownVersion, *version);
        }
        m_settings.setValue(kLastCheckedAt, m_clock.now());
    }
    if (--m_inFlight == 0) Q_EMIT isCheckingChanged();
}

void UpdateChecker::setLatestVersion(const QString& version)
{
    if (m_latestVersion == version) return;
    m_latestVersion = version;
    Q_EMIT latestVersionChanged();
}

int UpdateChecker::compareVersions(const QString& a, const QString& b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            const qsizetype startA = i, startB = j;
            while (i < a.size() && isDigit(a[i])) ++i;
            while (j < b.size() && isDigit(b[j])) ++j;
            if (const int c =
                    compareDigitRuns(QStringView(a).mid(startA, i - startA), QStringView(b).mid(startB, j - startB)))
                return c;
            continue;
        }
        if (a[i] != b[j]) return a[i].unicode() < b[j].unicode() ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}
