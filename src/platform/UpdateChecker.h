#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

namespace mirelo {

// The newest release an update feed announces.
struct AppcastItem {
    QString version;  // the release's version, compared with ours
    QString title;
    QUrl link;  // the download (enclosure) or the release page
};

struct UpdateCheckResult {
    enum class Status {
        notConfigured,    // no feed address was set at build time
        upToDate,         // our version is the newest
        updateAvailable,  // `latest` is newer than ours
        failed,           // the feed could not be fetched or read; see `error`
    };
    Status status = Status::failed;
    AppcastItem latest;
    QString error;
};

// Checks an RSS update feed ("appcast") for a newer release. Each <item>
// names its version in an attribute or child element called "version" (in
// any namespace, on the item's <enclosure> or the item itself), or else in
// its title; the highest version wins.
class UpdateChecker : public QObject {
    Q_OBJECT

public:
    // An empty `feed` means updates are not configured.
    UpdateChecker(QUrl feed, QString currentVersion, QObject* parent = nullptr);
    ~UpdateChecker() override;

    // Whether a usable feed address was given.
    bool isConfigured() const { return !m_feed.isEmpty() && m_feed.isValid(); }

    // Fetches the feed and emits finished() once, later. A check already
    // running is abandoned.
    void checkNow();

    // The newest item of a feed; nothing when the document is not a feed or
    // names no version.
    static std::optional<AppcastItem> newestItem(const QByteArray& feed);
    // Compares dotted versions numerically part by part ("1.10" > "1.9",
    // "1.2" == "1.2.0"); a non-numeric suffix sorts before none ("1.0b1" <
    // "1.0"). Returns <0, 0 or >0.
    static int compareVersions(const QString& a, const QString& b);
    // What a downloaded feed means for `currentVersion`.
    static UpdateCheckResult evaluate(const QByteArray& feed, const QString& currentVersion);

signals:
    void finished(const mirelo::UpdateCheckResult& result);

private:
    QUrl m_feed;
    QString m_currentVersion;
    QNetworkAccessManager* m_network = nullptr;
    QPointer<QNetworkReply> m_reply;
};

}  // namespace mirelo
