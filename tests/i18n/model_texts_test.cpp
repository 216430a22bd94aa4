#include "export/ExportTypes.h"
#include "i18n/Language.h"
#include "i18n/ModelTexts.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

using namespace mirelo;

namespace {

// Each test names the language it reads and leaves Chinese behind.
class ModelTexts : public ::testing::Test {
protected:
    void TearDown() override { i18n::install(i18n::Language::chinese); }
};

}  // namespace

TEST_F(ModelTexts, ExportErrorsInChinese) {
    using Kind = ExportError::Kind;
    using Cause = ExportError::Cause;
    EXPECT_EQ(i18n::describe(ExportError::frameWriteFailed(4)),
              QStringLiteral("第 5 帧写入失败。"));
    EXPECT_EQ(i18n::describe(ExportError::of(Kind::noFrames)), QStringLiteral("没有可导出的帧。"));
    EXPECT_EQ(i18n::describe(ExportError::of(Kind::gifCreateFailed)),
              QStringLiteral("无法创建 GIF 文件。"));
    EXPECT_EQ(i18n::describe(ExportError::encodeFailed(Cause::emptyFrame)),
              QStringLiteral("编码失败:帧数据为空"));
    EXPECT_EQ(i18n::describe(ExportError::encodeFailed(QStringLiteral("Invalid argument"))),
              QStringLiteral("编码失败:Invalid argument"));
    EXPECT_EQ(i18n::describe(ExportError::of(Kind::encodeFailed)),
              QStringLiteral("编码失败:未知错误"));
    EXPECT_EQ(i18n::describe(ExportError::of(Kind::cancelled)), QStringLiteral("已取消"));
    ExportError tooLarge = ExportError::of(Kind::tooLarge);
    tooLarge.size = 12'300'000;
    tooLarge.limit = 10'000'000;
    EXPECT_EQ(i18n::describe(tooLarge),
              QStringLiteral("文件超出大小限制:最小的设置仍有 12.3 MB(限制 10 MB)"));
}

TEST_F(ModelTexts, ByteCountsAndEstimatesInChinese) {
    EXPECT_EQ(i18n::formatByteCount(0), QStringLiteral("0 字节"));
    EXPECT_EQ(i18n::formatByteCount(812), QStringLiteral("812 字节"));
    EXPECT_EQ(i18n::formatByteCount(4'200'000), QStringLiteral("4.2 MB"));

    using State = SizeEstimate::State;
    EXPECT_EQ(i18n::describe(SizeEstimate{}), QStringLiteral("计算中…"));
    EXPECT_EQ(i18n::describe(SizeEstimate{State::failed}), QStringLiteral("估算失败"));
    EXPECT_EQ(i18n::describe(SizeEstimate{State::approximate, 356'400}),
              QStringLiteral("约 356 kB"));
    EXPECT_EQ(i18n::describe(SizeEstimate{State::overLimit, 12'300'000}),
              QStringLiteral("超出限制:最小 12.3 MB"));
    EXPECT_EQ(i18n::describe(
                  SizeEstimate{State::exact,
                               4'800'000,
                               {.quality = 52, .reduceFramesPercent = 50, .resizePercent = 50}}),
              QStringLiteral("4.8 MB · 品质 52 · 减帧 50% · 缩放 50%"));
    EXPECT_EQ(
        i18n::describe(SizeEstimate{
            State::exact, 955'287, {.gifLossy = 60, .reduceFramesPercent = 11, .keptFrames = 161}}),
        QStringLiteral("955 kB · 有损 60 · 减帧 11% · 保留 161 帧"));
    EXPECT_EQ(i18n::describe(ProcessedInfo{}), QStringLiteral("—"));
    EXPECT_EQ(i18n::describe(ProcessedInfo{true, 42, QSize(640, 360)}),
              QStringLiteral("42 帧 · 640×360"));
}

TEST_F(ModelTexts, RecordingErrorsInChinese) {
    // The default says what is true on an X11 desktop, with no other system's settings path.
    EXPECT_EQ(i18n::describe(RecorderError::noPermission()),
              QStringLiteral("没有屏幕录制权限:无法读取 X 显示器的画面。\n请确认 Mirelo 连接的 X "
                             "服务器允许它读取屏幕,然后重试。"));
    EXPECT_EQ(i18n::describe(RecorderError::displayNotFound()),
              QStringLiteral("找不到框选区域所在的显示器。"));
    EXPECT_EQ(i18n::describe(RecorderError::noFrames()),
              QStringLiteral("没有采集到任何画面帧,请重试。"));
    EXPECT_EQ(i18n::describe(RecorderError::platform(QStringLiteral("X 服务器断开"))),
              QStringLiteral("X 服务器断开"));
    EXPECT_EQ(i18n::describe(RecorderError::busy()), QStringLiteral("录制正在启动或停止,请稍候。"));
    EXPECT_EQ(i18n::describe(RecorderError::storeFailed(StoreError{StoreError::Kind::lowDisk})),
              QStringLiteral("磁盘空间不足,录制已停止。已录下的画面都保留着。"));
    EXPECT_EQ(i18n::describe(StoreError{StoreError::Kind::cannotCreate, 0, QStringLiteral("/x/y")}),
              QStringLiteral("无法创建录制缓存文件夹 /x/y。"));
}

TEST_F(ModelTexts, TheSameInEnglish) {
    ASSERT_TRUE(i18n::install(i18n::Language::english));
    EXPECT_EQ(i18n::describe(ExportError::frameWriteFailed(4)),
              QStringLiteral("Could not write frame 5."));
    EXPECT_EQ(i18n::describe(ExportError::encodeFailed(ExportError::Cause::emptyFrame)),
              QStringLiteral("Encoding failed: a frame is empty"));
    EXPECT_EQ(i18n::describe(Exporter::fileWriteError(
                  QStringLiteral("/a.gif"), QString::fromLocal8Bit(std::strerror(EACCES)))),
              QStringLiteral("Cannot write “/a.gif”: Permission denied"));
    EXPECT_EQ(i18n::formatByteCount(1), QStringLiteral("1 byte"));
    EXPECT_EQ(i18n::formatByteCount(812), QStringLiteral("812 bytes"));
    EXPECT_EQ(i18n::formatByteCount(356'400), QStringLiteral("356 kB"));
    using State = SizeEstimate::State;
    EXPECT_EQ(i18n::describe(SizeEstimate{}), QStringLiteral("Calculating…"));
    EXPECT_EQ(i18n::describe(SizeEstimate{State::approximate, 4'800'000, {52, {}, {}}}),
              QStringLiteral("about 4.8 MB · quality 52"));
    EXPECT_EQ(i18n::describe(ProcessedInfo{true, 1, QSize(640, 360)}),
              QStringLiteral("1 frame · 640×360"));
    EXPECT_EQ(i18n::describe(ProcessedInfo{true, 42, QSize(640, 360)}),
              QStringLiteral("42 frames · 640×360"));
    EXPECT_EQ(i18n::describe(RecorderError::busy()),
              QStringLiteral("The recording is starting or stopping. Please wait."));
    EXPECT_EQ(
        i18n::describe(StoreError{StoreError::Kind::lowDisk}),
        QStringLiteral("The disk is full, so the recording stopped. Everything recorded so far "
                       "is kept."));
}
