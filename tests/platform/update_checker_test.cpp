#include "platform/UpdateChecker.h"
#include "support/TestImages.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace mirelo;
using namespace std::chrono_literals;

namespace {

const QByteArray kFeed = R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:u="http://example.com/update-ns">
  <channel>
    <title>Mirelo</title>
    <item>
      <title>Mirelo 0.9.0</title>
      <enclosure url="https://example.com/mirelo-0.9.0.tar.gz" u:version="0.9.0" length="1"/>
    </item>
    <item>
      <title>Mirelo 0.10.0</title>
      <u:version>0.10.0</u:version>
      <link>https://example.com/releases/0.10.0</link>
    </item>
    <item>
      <title>Mirelo 0.2</title>
    </item>
  </channel>
</rss>)";

// Runs one check and waits for its result.
std::optional<UpdateCheckResult> check(UpdateChecker& checker, bool* synchronous = nullptr) {
    std::optional<UpdateCheckResult> result;
    QObject::connect(&checker, &UpdateChecker::finished,
                     [&result](const UpdateCheckResult& r) { result = r; });
    checker.checkNow();
    if (synchronous) {
        *synchronous = result.has_value();
    }
    test::waitUntil([&] { return result.has_value(); }, 5s);
    return result;
}

}  // namespace

TEST(UpdateChecker, ComparesVersionsNumerically) {
    EXPECT_GT(UpdateChecker::compareVersions("1.10", "1.9"), 0);
    EXPECT_EQ(UpdateChecker::compareVersions("1.2", "1.2.0"), 0);
    EXPECT_LT(UpdateChecker::compareVersions("0.1.0", "0.1.1"), 0);
    EXPECT_LT(UpdateChecker::compareVersions("1.0b1", "1.0"), 0);
    EXPECT_GT(UpdateChecker::compareVersions("2", "1.99.99"), 0);
}

TEST(UpdateChecker, PicksTheNewestItemWhereverItNamesItsVersion) {
    const auto newest = UpdateChecker::newestItem(kFeed);
    ASSERT_TRUE(newest.has_value());
    EXPECT_EQ(newest->version, "0.10.0");
    EXPECT_EQ(newest->link, QUrl("https://example.com/releases/0.10.0"));

    EXPECT_EQ(UpdateChecker::evaluate(kFeed, "0.1.0").status,
              UpdateCheckResult::Status::updateAvailable);
    EXPECT_EQ(UpdateChecker::evaluate(kFeed, "0.10.0").status, UpdateCheckResult::Status::upToDate);
    EXPECT_EQ(UpdateChecker::evaluate("<html><body>oops", "0.1.0").status,
              UpdateCheckResult::Status::failed);
    EXPECT_EQ(UpdateChecker::evaluate("<rss><channel/></rss>", "0.1.0").status,
              UpdateCheckResult::Status::failed);
}

TEST(UpdateChecker, ReportsAMissingAddressAndFetchesAFeed) {
    UpdateChecker unconfigured(QUrl(), "0.1.0");
    bool synchronous = true;
    const auto none = check(unconfigured, &synchronous);
    EXPECT_FALSE(synchronous);  // never from inside the call
    ASSERT_TRUE(none.has_value());
    EXPECT_EQ(none->status, UpdateCheckResult::Status::notConfigured);

    QTemporaryDir dir;
    QFile file(dir.filePath("appcast.xml"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(kFeed);
    file.close();
    UpdateChecker checker(QUrl::fromLocalFile(file.fileName()), "0.1.0");
    const auto result = check(checker);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->status, UpdateCheckResult::Status::updateAvailable);
    EXPECT_EQ(result->latest.version, "0.10.0");

    UpdateChecker missing(QUrl::fromLocalFile(dir.filePath("nothing.xml")), "0.1.0");
    const auto failed = check(missing);
    ASSERT_TRUE(failed.has_value());
    EXPECT_EQ(failed->status, UpdateCheckResult::Status::failed);
    EXPECT_FALSE(failed->error.isEmpty());
}
