#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <optional>

class Clock;
class QNetworkAccessManager;
class QNetworkReply;
class Settings;

// The two web addresses of the update check, on the product's site.
struct UpdateConfig {
    static QUrl site() { return QUrl(QStringLiteral("https://tarnwick.app")); }
    static QUrl manifestURL(const QUrl& site = UpdateConfig::site());
    static QUrl releasesURL(const QUrl& site = UpdateConfig::site());
};

// Finds out whether a newer version has been published. It only reads a small JSON version file and
// remembers the newest version number it has seen; nothing is downloaded or installed. Failures are
// never reported: they leave the known version as it was.
class UpdateChecker : public QObject {
    Q_OBJECT
public:
    // A check counts for the one-day interval only when the site answered with HTTP 200.
    static constexpr qint64 kCheckIntervalSeconds = 86400;
    // A manifest is a few bytes; a reply past this is not one and is not read further.
    static constexpr qint64 kMaxManifestBytes = 64 * 1024;
    // A version number longer than this is not one.
    static constexpr qsizetype kMaxVersionLength = 64;
    // Distribution packages are built without the check (they are updated by their package manager):
    // then no request is ever made.
    static bool builtWithUpdateCheck();

    UpdateChecker(QNetworkAccessManager& network, Settings& settings, const Clock& clock,
                  const QUrl& site = UpdateConfig::site(), QObject* parent = nullptr);
    ~UpdateChecker() override;

    std::optional<QString> latestVersion() const { return m_latestVersion; }
    bool isChecking() const { return m_inFlight > 0; }
    // "update.checkAutomatically" when it holds a Boolean; on otherwise.
    bool isEnabled() const;
    // The running version, "0" when the application has none.
    QString currentVersion() const;
    bool updateAvailable() const;
    QUrl manifestURL() const { return UpdateConfig::manifestURL(m_site); }
    QUrl releasesURL() const { return UpdateConfig::releasesURL(m_site); }

    // The launch check: runs check() when automatic checks are on and no successful check was recorded
    // in the last day (a recorded date in the future counts as recent).
    void checkIfDue();
    // One request for the manifest. Also the settings window's manual check, which the user may ask for
    // whether or not automatic checks are on.
    void check();

    // A request that has not finished after this long counts as failed. Default 30 s.
    void setTransferTimeout(int ms) { m_timeoutMs = ms; }

    // Compares two version strings: runs of decimal digits by their numeric value, every other
    // character by its UTF-16 value (case significant); when one string is a prefix of the other in
    // this sense, the longer is greater. Returns <0, 0 or >0.
    static int compareVersions(const QString& a, const QString& b);
    // The manifest's "latestVersion" when the document is a manifest: a JSON object whose member is a
    // string of plain text (no control characters) of at most kMaxVersionLength characters.
    static std::optional<QString> decodeManifest(const QByteArray& document);

Q_SIGNALS:
    void latestVersionChanged();
    void isCheckingChanged();

private:
    void finished(QNetworkReply* reply);
    void setLatestVersion(const QString& version);

    QNetworkAccessManager& m_network;
    Settings& m_settings;
    const Clock& m_clock;
    QUrl m_site;
    std::optional<QString> m_latestVersion;
    // Checks may overlap (the launch check and a manual one): busy until the last one ends.
    int m_inFlight = 0;
    int m_timeoutMs = 30000;
};
