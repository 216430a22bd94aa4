#include "platform/UpdateChecker.h"

#include <QMetaObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QXmlStreamReader>

namespace mirelo {

namespace {

// Feeds are small; anything larger is not one.
constexpr qint64 kMaxFeedBytes = 4 * 1024 * 1024;
constexpr int kTimeoutMs = 15000;

struct VersionPart {
    long long number = 0;
    QString suffix;
};

QList<VersionPart> splitVersion(const QString& version) {
    static const QRegularExpression part(QStringLiteral("^(\\d*)(.*)$"));
    QList<VersionPart> parts;
    const QString trimmed = version.trimmed();
    for (const QString& piece : trimmed.split(QLatin1Char('.'))) {
        const auto match = part.match(piece);
        VersionPart p;
        p.number = match.captured(1).left(18).toLongLong();
        p.suffix = match.captured(2);
        parts.push_back(p);
    }
    while (parts.size() > 1 && parts.last().number == 0 && parts.last().suffix.isEmpty()) {
        parts.removeLast();
    }
    return parts;
}

}  // namespace

UpdateChecker::UpdateChecker(QUrl feed, QString currentVersion, QObject* parent)
    : QObject(parent),
      m_feed(std::move(feed)),
      m_currentVersion(std::move(currentVersion)),
      m_network(new QNetworkAccessManager(this)) {
    qRegisterMetaType<UpdateCheckResult>();
}

UpdateChecker::~UpdateChecker() = default;

void UpdateChecker::checkNow() {
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
    if (!isConfigured()) {
        UpdateCheckResult result;
        result.status = UpdateCheckResult::Status::notConfigured;
        QMetaObject::invokeMethod(
            this, [this, result] { emit finished(result); }, Qt::QueuedConnection);
        return;
    }
    QNetworkRequest request(m_feed);
    request.setTransferTimeout(kTimeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply* reply = m_network->get(request);
    m_reply = reply;
    connect(reply, &QNetworkReply::downloadProgress, this, [reply](qint64 received, qint64) {
        if (received > kMaxFeedBytes) {
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        reply->deleteLater();
        UpdateCheckResult result;
        if (reply->error() != QNetworkReply::NoError) {
            result.status = UpdateCheckResult::Status::failed;
            result.error = reply->errorString();
        } else {
            result = evaluate(reply->read(kMaxFeedBytes), m_currentVersion);
        }
        emit finished(result);
    });
}

std::optional<AppcastItem> UpdateChecker::newestItem(const QByteArray& feed) {
    QXmlStreamReader xml(feed);
    std::optional<AppcastItem> newest;
    std::optional<AppcastItem> item;
    QString element;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const QStringView name = xml.name();
            if (name == QLatin1String("item")) {
                item = AppcastItem{};
            } else if (item) {
                const QXmlStreamAttributes attributes = xml.attributes();
                for (const QXmlStreamAttribute& attribute : attributes) {
                    if (attribute.name() == QLatin1String("version") && item->version.isEmpty()) {
                        item->version = attribute.value().toString().trimmed();
                    }
                }
                if (name == QLatin1String("enclosure")) {
                    for (const QXmlStreamAttribute& attribute : attributes) {
                        if (attribute.name() == QLatin1String("url")) {
                            item->link = QUrl(attribute.value().toString().trimmed());
                        }
                    }
                }
                element = name.toString();
            }
        } else if (xml.isCharacters() && item && !xml.isWhitespace()) {
            const QString text = xml.text().toString().trimmed();
            if (element == QLatin1String("version") && item->version.isEmpty()) {
                item->version = text;
            } else if (element == QLatin1String("title")) {
                item->title += text;
            } else if (element == QLatin1String("link") && item->link.isEmpty()) {
                item->link = QUrl(text);
            }
        } else if (xml.isEndElement()) {
            if (xml.name() == QLatin1String("item") && item) {
                if (item->version.isEmpty()) {
                    static const QRegularExpression number(QStringLiteral("\\d+(\\.\\d+)+"));
                    item->version = number.match(item->title).captured(0);
                }
                if (!item->version.isEmpty() &&
                    (!newest || compareVersions(item->version, newest->version) > 0)) {
                    newest = item;
                }
                item.reset();
            }
            element.clear();
        }
    }
    if (xml.hasError()) {
        return std::nullopt;
    }
    return newest;
}

int UpdateChecker::compareVersions(const QString& a, const QString& b) {
    const QList<VersionPart> left = splitVersion(a);
    const QList<VersionPart> right = splitVersion(b);
    const qsizetype count = std::max(left.size(), right.size());
    for (qsizetype i = 0; i < count; ++i) {
        const VersionPart l = i < left.size() ? left[i] : VersionPart{};
        const VersionPart r = i < right.size() ? right[i] : VersionPart{};
        if (l.number != r.number) {
            return l.number < r.number ? -1 : 1;
        }
        if (l.suffix != r.suffix) {
            // A pre-release suffix ("b1", "-rc2") comes before the plain release.
            if (l.suffix.isEmpty()) {
                return 1;
            }
            if (r.suffix.isEmpty()) {
                return -1;
            }
            return l.suffix < r.suffix ? -1 : 1;
        }
    }
    return 0;
}

UpdateCheckResult UpdateChecker::evaluate(const QByteArray& feed, const QString& currentVersion) {
    UpdateCheckResult result;
    const std::optional<AppcastItem> newest = newestItem(feed);
    if (!newest) {
        result.status = UpdateCheckResult::Status::failed;
        result.error = tr("更新信息无法读取。");
        return result;
    }
    result.latest = *newest;
    result.status = compareVersions(newest->version, currentVersion) > 0
                        ? UpdateCheckResult::Status::updateAvailable
                        : UpdateCheckResult::Status::upToDate;
    return result;
}

}  // namespace mirelo
