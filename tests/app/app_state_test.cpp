#include "app/Alerts.h"
#include "app/AppState.h"
#include "editor/EditorState.h"
#include "i18n/ModelTexts.h"
#include "image/ImageServices.h"
#include "support/EditorClosing.h"
#include "support/FakeCaptureBackend.h"
#include "support/TestImages.h"
#include "ui/editor/EditorWindowController.h"
#include "ui/recorder/RecorderHeader.h"
#include "ui/recorder/RecorderWindow.h"
#include "ui/recorder/RecorderWindowController.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace mirelo;
using namespace std::chrono_literals;
using mirelo::test::FakeCaptureBackend;

namespace {

class FakeAlerts : public AlertPresenter {
public:
    struct Shown {
        QString description;
        bool offerSettings;
    };
    QList<Shown> shown;
    Response answer = Response::ok;

    Response showRecordingError(const QString& description, bool offerSettings) override {
        shown.push_back({description, offerSettings});
        return answer;
    }

    QStringList restoreAsked;
    QStringList notices;
    RestoreAnswer restoreAnswer = RestoreAnswer::later;
    RestoreAnswer askRestoreRecording(const QString& details) override {
        restoreAsked << details;
        return restoreAnswer;
    }
    void showNotice(const QString& text) override { notices << text; }

    QStringList damagedAsked;
    DamagedAnswer damagedAnswer = DamagedAnswer::later;
    DamagedAnswer askDamagedRecording(const QString& details) override {
        damagedAsked << details;
        return damagedAnswer;
    }
};

// A recording left in the cache folder by an instance that died: the files of a store copied
// into a folder of their own before the store (and with it its folder) goes.
QString leaveRecording() {
    StoreOptions options;
    options.diskReserve = 0;
    auto store = RecordingStore::create(options, 10);
    if (!store) {
        return {};
    }
    for (int i = 0; i < 4; ++i) {
        store->append(test::solidImage(40, 20, i % 2 ? Qt::red : Qt::blue),
                      MediaTime{i, 10, MediaTime::Valid}, i == 2 ? 2 : 0, nullptr);
    }
    const QString left = store->folder() + QStringLiteral("-left");
    QDir().mkpath(left);
    for (const QString& name : {QStringLiteral("frames.idx"), QStringLiteral("bands.dat")}) {
        QFile::copy(QDir(store->folder()).filePath(name), QDir(left).filePath(name));
    }
    return left;
}

class AppStateTest : public ::testing::Test {
protected:
    std::shared_ptr<FakeCaptureBackend> backend = std::make_shared<FakeCaptureBackend>();
    std::shared_ptr<FakeAlerts> alerts = std::make_shared<FakeAlerts>();
    int privacyOpened = 0;
    std::function<void(std::optional<PickedWindow>)> pendingPick;
    QStringList revealed;
    QStringList foldersOpened;
    std::unique_ptr<AppState> state;

    StoreOptions storeOptions;

    // Creates the session, as the application does at start.
    void launch() {
        AppServices services;
        services.recorder = std::make_unique<ScreenRecorder>(
            backend,
            [] {
                return std::vector<ScreenInfo>{{QStringLiteral("fake"), 1.0}};
            },
            nullptr, storeOptions);
        services.alerts = alerts;
        services.pickWindow = [this](std::function<void(std::optional<PickedWindow>)> done) {
            pendingPick = std::move(done);
        };
        services.revealFile = [this](const QString& path) { revealed << path; };
        services.openPrivacySettings = [this] { ++privacyOpened; };
        services.openFolder = [this](const QString& folder) { foldersOpened << folder; };
        state = std::make_unique<AppState>(std::move(services));
        state->setChromeSettleDelay(0);
        state->setCountdownSeconds(0);
        test::spinFor(20ms);
    }

    RecorderWindow* window() { return state->recorderWindowController()->window(); }
    QPushButton* recordButton() { return window()->header()->recordButton(); }

    void startRecording() {
        state->toggleRecording();
        ASSERT_TRUE(test::waitUntil([&] { return state->isRecording(); }, 3s));
    }
    bool waitIdle() {
        return test::waitUntil(
            [&] { return !state->isRecording() && !state->isStartingRecording(); }, 3s);
    }
    // The app is usable again: idle, recorder window shown, record enabled.
    void expectUsable() {
        EXPECT_FALSE(state->isRecording());
        EXPECT_FALSE(state->isStartingRecording());
        EXPECT_TRUE(window()->isVisible());
        EXPECT_TRUE(recordButton()->isEnabled());
        EXPECT_EQ(recordButton()->text(), QStringLiteral("录制"));
        EXPECT_FALSE(state->recorderWindowController()->hasRecordingChrome());
    }
};

}  // namespace

TEST_F(AppStateTest, LaunchShowsTheRecorderWindowWithTheDefaults) {
    launch();
    EXPECT_TRUE(window()->isVisible());
    EXPECT_EQ(state->fps(), 15);
    EXPECT_TRUE(state->showsCursor());
    EXPECT_EQ(state->captureSize(), QSizeF(960, 540));
    EXPECT_FALSE(state->isRecording());
}

TEST_F(AppStateTest, MissingPermissionAlertsWithTheSettingsButton) {
    backend->permissionGranted = false;
    launch();
    alerts->answer = AlertPresenter::Response::openSettings;
    state->toggleRecording();
    EXPECT_TRUE(state->isStartingRecording());  // at once, before any work
    EXPECT_EQ(recordButton()->text(), QStringLiteral("启动中…"));
    EXPECT_FALSE(recordButton()->isEnabled());
    ASSERT_TRUE(waitIdle());
    ASSERT_EQ(alerts->shown.size(), 1);
    EXPECT_TRUE(alerts->shown[0].offerSettings);
    EXPECT_EQ(alerts->shown[0].description, i18n::describe(RecorderError::noPermission()));
    EXPECT_EQ(privacyOpened, 1);
    expectUsable();
}

TEST_F(AppStateTest, StartFailuresAlertWithOnlyOkAndLeaveTheAppUsable) {
    launch();
    window()->move(9000, 9000);  // off every display
    state->toggleRecording();
    ASSERT_TRUE(waitIdle());
    ASSERT_EQ(alerts->shown.size(), 1);
    EXPECT_EQ(alerts->shown[0].description, QStringLiteral("找不到框选区域所在的显示器。"));
    EXPECT_FALSE(alerts->shown[0].offerSettings);
    expectUsable();

    window()->move(100, 100);
    backend->startFailure = CaptureFailure{QStringLiteral("MIT-SHM failed")};
    state->toggleRecording();
    ASSERT_TRUE(test::waitUntil([&] { return alerts->shown.size() == 2; }, 3s));
    EXPECT_EQ(alerts->shown[1].description, QStringLiteral("MIT-SHM failed"));
    expectUsable();
    EXPECT_EQ(privacyOpened, 0);
}

TEST_F(AppStateTest, StartRequestsWhileStartingAreIgnored) {
    launch();
    state->toggleRecording();
    state->toggleRecording();
    ASSERT_TRUE(test::waitUntil([&] { return state->isRecording(); }, 3s));
    test::spinFor(50ms);
    EXPECT_EQ(backend->read(backend->starts), 1);
    EXPECT_TRUE(alerts->shown.isEmpty());
}

TEST_F(AppStateTest, StopHandsTheFramesToAnEditorAndClosingItBringsTheWindowBack) {
    launch();
    // What lies of the region on the screen is recorded (the small test
    // screen leaves some of the centred window off it).
    const QRect region = state->recorderWindowController()->recordableRegion();
    EXPECT_TRUE(QGuiApplication::primaryScreen()->geometry().contains(region));
    startRecording();
    EXPECT_TRUE(state->recorderWindowController()->hasRecordingChrome());
    EXPECT_EQ(recordButton()->text(), QStringLiteral("停止"));
    ASSERT_TRUE(backend->read(backend->running));
    EXPECT_EQ(backend->read(backend->lastConfiguration).sourcePixels, region);
    EXPECT_TRUE(backend->read(backend->lastConfiguration).showsCursor);

    backend->deliver(test::solidImage(64, 36, Qt::green), 30);
    state->toggleRecording();
    ASSERT_TRUE(test::waitUntil([&] { return state->editor() != nullptr; }, 3s));
    EditorWindowController* editor = state->editor();
    EXPECT_FALSE(state->isRecording());
    EXPECT_FALSE(window()->isVisible());
    EXPECT_TRUE(editor->window()->isVisible());
    ASSERT_EQ(editor->state()->frameCount(), 30);
    for (const EditorFrame& frame : editor->state()->frames()) {
        EXPECT_DOUBLE_EQ(frame.delay, 1.0 / 15.0);
    }
    EXPECT_TRUE(alerts->shown.isEmpty());

    // A resize puts its frames into a store of their own, as the recording's are.
    const Image before = editor->state()->frames().last().image;
    editor->state()->resize(QSizeF(32, 18));
    editor->state()->waitForGeometry();
    EXPECT_EQ(editor->state()->undoCount(), 1);
    const Image after = editor->state()->frames().last().image;
    const PixelSource* band = after.bands().front().pixelSource();
    EXPECT_NE(band, nullptr);
    EXPECT_NE(band, before.bands().front().pixelSource());
    EXPECT_EQ(ImageServices::readBytes(after),
              ImageServices::readBytes(ImageServices::scaled(before, 32, 18)));

    test::closeDiscarding(editor);
    EXPECT_TRUE(window()->isVisible());
    expectUsable();
}

TEST_F(AppStateTest, PauseLeavesFramesOutUntilResumed) {
    launch();
    QToolButton* pause = window()->header()->pauseButton();
    EXPECT_TRUE(pause->isHidden());
    state->togglePause();  // nothing runs: nothing to pause
    EXPECT_FALSE(state->isPaused());
    startRecording();
    EXPECT_FALSE(pause->isHidden());
    EXPECT_EQ(pause->text(), QStringLiteral("暂停"));

    backend->deliver(test::solidImage(64, 36, Qt::green), 3);
    pause->click();
    EXPECT_TRUE(state->isPaused());
    EXPECT_EQ(pause->text(), QStringLiteral("继续"));
    backend->deliver(test::solidImage(64, 36, Qt::red), 5);  // while paused: left out
    pause->click();
    EXPECT_FALSE(state->isPaused());
    EXPECT_EQ(pause->text(), QStringLiteral("暂停"));
    backend->deliver(test::solidImage(64, 36, Qt::blue), 2);
    state->togglePause();  // stopping while paused ends the pause too
    state->toggleRecording();
    ASSERT_TRUE(test::waitUntil([&] { return state->editor() != nullptr; }, 3s));
    EXPECT_FALSE(state->isPaused());
    EXPECT_TRUE(pause->isHidden());

    // The frames on either side of the pause are neighbours with the usual delay.
    const FrameList& frames = state->editor()->state()->frames();
    ASSERT_EQ(frames.size(), 5);
    EXPECT_EQ(frames[2].image.pixel(0, 0), test::solidImage(1, 1, Qt::green).pixel(0, 0));
    EXPECT_EQ(frames[3].image.pixel(0, 0), test::solidImage(1, 1, Qt::blue).pixel(0, 0));
    for (const EditorFrame& frame : frames) {
        EXPECT_DOUBLE_EQ(frame.delay, 1.0 / 15.0);
    }
}

TEST_F(AppStateTest, TheRateAtStopTimeSetsTheDelays) {
    launch();
    state->setFps(24);
    startRecording();
    backend->deliver(test::solidImage(8, 8, Qt::red), 8);
    state->setFps(10);  // the menu is disabled while recording, but the rule holds
    state->toggleRecording();
    ASSERT_TRUE(test::waitUntil([&] { return state->editor() != nullptr; }, 3s));
    ASSERT_EQ(state->editor()->state()->frameCount(), 8);
    EXPECT_DOUBLE_EQ(state->editor()->state()->frames()[0].delay, 0.1);
}

TEST_F(AppStateTest, StopWithoutFramesAlertsAndLeavesTheWindowUsable) {
    launch();
    startRecording();
    state->toggleRecording();
    state->toggleRecording();  // a second stop while the first runs is ignored
    ASSERT_TRUE(waitIdle());
    test::spinFor(30ms);
    ASSERT_EQ(alerts->shown.size(), 1);
    EXPECT_EQ(alerts->shown[0].description, QStringLiteral("没有采集到任何画面帧,请重试。"));
    EXPECT_EQ(state->editor(), nullptr);
    expectUsable();
}

TEST_F(AppStateTest, FailedStopAlertsAndTheNextRecordingStillWorks) {
    launch();
    startRecording();
    backend->stopFailure = CaptureFailure{QStringLiteral("stop failed")};
    state->toggleRecording();
    ASSERT_TRUE(waitIdle());
    ASSERT_EQ(alerts->shown.size(), 1);
    EXPECT_EQ(alerts->shown[0].description, QStringLiteral("stop failed"));
    expectUsable();

    backend->stopFailure.reset();
    startRecording();
    backend->deliver(test::solidImage(8, 8, Qt::blue), 3);
    state->toggleRecording();
    ASSERT_TRUE(test::waitUntil([&] { return state->editor() != nullptr; }, 3s));
    EXPECT_EQ(state->editor()->state()->frameCount(), 3);
}

TEST_F(AppStateTest, AStreamEndingByItselfKeepsItsFramesAndAlerts) {
    launch();
    startRecording();
    backend->deliver(test::solidImage(8, 8, Qt::yellow), 5);
    backend->fail(QStringLiteral("The X server went away"));
    ASSERT_TRUE(test::waitUntil([&] { return state->editor() != nullptr; }, 3s));
    EXPECT_EQ(state->editor()->state()->frameCount(), 5);
    ASSERT_TRUE(test::waitUntil([&] { return alerts->shown.size() == 1; }, 3s));
    EXPECT_EQ(alerts->shown[0].description, QStringLiteral("The X server went away"));
    EXPECT_FALSE(state->isRecording());
    EXPECT_FALSE(window()->isVisible());  // the editor took its place
}

TEST_F(AppStateTest, WindowPickSnapsOrLeavesTheFrameAlone) {
    launch();
    RecorderWindowController* controller = state->recorderWindowController();
    const QRect before = window()->geometry();
    state->beginWindowPick();
    EXPECT_TRUE(state->isPickingWindow());
    state->beginWindowPick();  // ignored while picking
    ASSERT_TRUE(pendingPick);
    std::exchange(pendingPick, nullptr)(std::nullopt);
    EXPECT_FALSE(state->isPickingWindow());
    EXPECT_EQ(window()->geometry(), before);

    state->beginWindowPick();
    ASSERT_TRUE(pendingPick);
    std::exchange(pendingPick, nullptr)(PickedWindow{QRectF(200, 300, 500, 250)});
    EXPECT_FALSE(state->isPickingWindow());
    EXPECT_EQ(controller->captureRegion(), QRect(200, 300, 500, 250));
    EXPECT_EQ(state->captureSize(), QSizeF(500, 250));
}

TEST_F(AppStateTest, RecordingAWindowFollowsItUntilItClosesThenOpensTheEditor) {
    launch();
    EXPECT_FALSE(state->recordsWindows()) << "a backend of whole screens offers no window";
    state->beginWindowRecording();
    EXPECT_FALSE(pendingPick);

    backend->windows = true;
    launch();
    ASSERT_TRUE(state->recordsWindows());
    // A pick that finds no window records nothing.
    state->beginWindowRecording();
    ASSERT_TRUE(pendingPick);
    std::exchange(pendingPick, nullptr)(std::nullopt);
    test::spinFor(50ms);
    EXPECT_FALSE(state->isStartingRecording());
    EXPECT_EQ(backend->read(backend->starts), 0);

    state->setWindowDecorations(false);
    state->beginWindowRecording();
    ASSERT_TRUE(pendingPick);
    std::exchange(pendingPick, nullptr)(PickedWindow{QRectF(200, 300, 500, 250), 77});
    ASSERT_TRUE(test::waitUntil([&] { return state->isRecording(); }, 3s));
    EXPECT_TRUE(state->isRecordingWindow());
    EXPECT_EQ(backend->read(backend->lastConfiguration).window, (CaptureWindow{77, false}));
    // The header sits above where the window was picked.
    EXPECT_EQ(state->recorderWindowController()->captureRegion(), QRect(200, 300, 500, 250));

    int opened = 0;
    QObject::connect(state.get(), &AppState::editorOpened, [&opened] { ++opened; });
    backend->deliver(test::solidImage(30, 20, Qt::blue), 3);
    backend->fail({}, true);
    ASSERT_TRUE(test::waitUntil([&] { return opened == 1; }, 3s));
    EXPECT_TRUE(alerts->shown.isEmpty()) << "a closed window is a normal end";
    EXPECT_FALSE(state->isRecordingWindow());
    ASSERT_NE(state->editor(), nullptr);
    EXPECT_EQ(state->editor()->state()->frames().size(), 3u);
    // Frames of a window do not change what the frame's region would record.
    EXPECT_FALSE(state->recordedPixelSize().isValid());
}

TEST_F(AppStateTest, ClosingAnEditorFreesItAndANewRecordingLeavesAnOpenOneAlone) {
    launch();
    // Counted by the signal: a freed editor's address may be reused by the
    // next one.
    int opened = 0;
    QObject::connect(state.get(), &AppState::editorOpened, [&opened] { ++opened; });
    auto record = [&] {
        startRecording();
        backend->deliver(test::solidImage(8, 8, Qt::blue), 2);
        const int before = opened;
        state->toggleRecording();
        ASSERT_TRUE(test::waitUntil([&] { return opened == before + 1; }, 3s));
    };
    record();
    QPointer<EditorWindowController> first = state->editor();
    // Closing an editor frees it, frames and history with it.
    test::closeDiscarding(first);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(state->editor(), nullptr);
    record();
    QPointer<EditorWindowController> second = state->editor();
    // An editor still open stays open when the next recording arrives.
    record();
    test::spinFor(20ms);
    ASSERT_FALSE(second.isNull());
    EXPECT_TRUE(second->window()->isVisible());
    test::closeDiscarding(second);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(second.isNull());
}

TEST_F(AppStateTest, SavedFilesAreRevealed) {
    launch();
    state->revealSavedFile(QStringLiteral("/tmp/a.gif"));
    EXPECT_EQ(revealed, QStringList{QStringLiteral("/tmp/a.gif")});
}

TEST_F(AppStateTest, ARecordingLeftByACrashIsOfferedAndRestoredOrDiscarded) {
    QDir(defaultStoreRoot()).removeRecursively();
    const QString left = leaveRecording();
    ASSERT_FALSE(left.isEmpty());

    // Dismissed: asked again at the next start.
    launch();
    ASSERT_EQ(alerts->restoreAsked.size(), 1);
    EXPECT_TRUE(alerts->restoreAsked[0].contains(QStringLiteral("4 帧")));
    EXPECT_EQ(state->editor(), nullptr);
    EXPECT_TRUE(QDir(left).exists());
    state.reset();

    // Restored: the editor opens on the frames with their delays (frame 1 kept the time of
    // the two frames dropped after it).
    alerts->restoreAnswer = AlertPresenter::RestoreAnswer::restore;
    launch();
    ASSERT_EQ(alerts->restoreAsked.size(), 2);
    ASSERT_NE(state->editor(), nullptr);
    EXPECT_FALSE(window()->isVisible());
    const FrameList frames = state->editor()->state()->frames();
    ASSERT_EQ(frames.size(), 4);
    EXPECT_EQ(frames[1].image.qimage(), test::solidImage(40, 20, Qt::red).qimage());
    EXPECT_DOUBLE_EQ(frames[0].delay, 0.1);
    EXPECT_DOUBLE_EQ(frames[1].delay, 0.3);
    EXPECT_TRUE(alerts->notices.isEmpty());
    // Closing its editor removes the recording.
    test::closeDiscarding(state->editor());
    EXPECT_FALSE(QDir(left).exists());
    EXPECT_TRUE(window()->isVisible());
    state.reset();

    // Discarded: removed without an editor.
    const QString again = leaveRecording();
    alerts->restoreAnswer = AlertPresenter::RestoreAnswer::discard;
    launch();
    EXPECT_EQ(alerts->restoreAsked.size(), 3);
    EXPECT_EQ(state->editor(), nullptr);
    EXPECT_FALSE(QDir(again).exists());
}

// Damage that leaves nothing readable never deletes the recording unasked: the user opens its
// folder or deletes it. A damaged band costs only the frame that used it, and the offer says so.
TEST_F(AppStateTest, ADamagedRecordingIsKeptUntilTheUserDecidesAndTheOfferTellsWhatWasLost) {
    QDir(defaultStoreRoot()).removeRecursively();
    const QString left = leaveRecording();
    ASSERT_FALSE(left.isEmpty());
    // Both headers' versions changed: neither file can be read.
    for (const QString& name : {QStringLiteral("frames.idx"), QStringLiteral("bands.dat")}) {
        QFile file(QDir(left).filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.seek(8));
        ASSERT_TRUE(file.putChar(7));
    }
    launch();
    EXPECT_TRUE(alerts->restoreAsked.isEmpty());
    ASSERT_EQ(alerts->damagedAsked.size(), 1);
    EXPECT_TRUE(alerts->damagedAsked[0].contains(QDir::toNativeSeparators(left)));
    EXPECT_TRUE(QDir(left).exists());
    state.reset();

    alerts->damagedAnswer = AlertPresenter::DamagedAnswer::openFolder;
    launch();
    ASSERT_EQ(alerts->damagedAsked.size(), 2);
    EXPECT_EQ(foldersOpened, QStringList{left});
    EXPECT_TRUE(QDir(left).exists());
    state.reset();

    alerts->damagedAnswer = AlertPresenter::DamagedAnswer::remove;
    launch();
    ASSERT_EQ(alerts->damagedAsked.size(), 3);
    EXPECT_FALSE(QDir(left).exists());
    state.reset();

    // One band flipped: the frames after it are offered with their times, the loss told.
    const QString damaged = leaveRecording();
    {
        QFile bands(QDir(damaged).filePath(QStringLiteral("bands.dat")));
        ASSERT_TRUE(bands.open(QIODevice::ReadWrite));
        ASSERT_TRUE(bands.seek(32 + 28 + 4));  // inside the first band's bytes
        ASSERT_TRUE(bands.putChar(0x55));
    }
    alerts->restoreAnswer = AlertPresenter::RestoreAnswer::restore;
    launch();
    EXPECT_EQ(alerts->damagedAsked.size(), 3);
    ASSERT_EQ(alerts->restoreAsked.size(), 1);
    EXPECT_TRUE(alerts->restoreAsked[0].contains(QStringLiteral("3 帧（0.5 秒）")))
        << alerts->restoreAsked[0].toStdString();
    EXPECT_TRUE(alerts->restoreAsked[0].contains(QStringLiteral("1 帧（0.1 秒）")))
        << alerts->restoreAsked[0].toStdString();
    ASSERT_NE(state->editor(), nullptr);
    const FrameList frames = state->editor()->state()->frames();
    ASSERT_EQ(frames.size(), 3);
    EXPECT_EQ(frames[0].image.qimage(), test::solidImage(40, 20, Qt::red).qimage());
    EXPECT_DOUBLE_EQ(frames[0].delay, 0.3);
    EXPECT_TRUE(QDir(damaged).exists());
    test::closeDiscarding(state->editor());
    EXPECT_FALSE(QDir(damaged).exists());
}

TEST_F(AppStateTest, ANearlyFullDiskStopsTheRecordingWithAnAlertAndKeepsTheFrames) {
    // The disk fills up after the recording's first second (15 frames): with plenty of room,
    // the store asks for the free space when it is made, before the first frame and once every
    // second of frames after.
    std::atomic<int> asked{0};
    storeOptions.freeSpace = [&asked](const QString&) -> qint64 {
        return ++asked <= 2 ? qint64{1} << 40 : 0;
    };
    launch();
    startRecording();
    backend->deliver(test::solidImage(64, 36, Qt::green), 15);
    backend->deliver(test::solidImage(64, 36, Qt::red), 3);
    ASSERT_TRUE(test::waitUntil([&] { return state->editor() != nullptr; }, 5s));
    EXPECT_FALSE(state->isRecording());
    EXPECT_EQ(state->fps(), 15);
    ASSERT_EQ(state->editor()->state()->frameCount(), 15);
    EXPECT_EQ(state->editor()->state()->frames()[14].image.qimage(),
              test::solidImage(64, 36, Qt::green).qimage());
    ASSERT_EQ(alerts->shown.size(), 1);
    EXPECT_EQ(alerts->shown[0].description, i18n::describe(StoreError{StoreError::Kind::lowDisk}));
}

// A cache disk too full to start says that nothing was recorded and how much room is missing,
// not that the recorded frames were kept.
TEST_F(AppStateTest, ACacheTooFullToStartSaysNothingWasRecordedAndTheRoomItNeeds) {
    storeOptions.diskReserve = 256'000'000;
    storeOptions.freeSpace = [](const QString&) -> qint64 { return 56'000'000; };
    launch();
    state->toggleRecording();
    ASSERT_TRUE(waitIdle());
    ASSERT_EQ(alerts->shown.size(), 1);
    const QString text = alerts->shown[0].description;
    EXPECT_TRUE(text.contains(QStringLiteral("没有录下任何画面"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("200.0 MB")) ||
                text.contains(QStringLiteral("200 MB")))
        << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("保留")));
    expectUsable();
}

TEST(OutputFolder, IsTheDesktopFolderMireloCreatedOnDemand) {
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QByteArray oldHome = qgetenv("HOME");
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toLocal8Bit());
    QDir(home.path()).mkpath(QStringLiteral(".config"));
    QFile dirs(home.path() + "/.config/user-dirs.dirs");
    ASSERT_TRUE(dirs.open(QIODevice::WriteOnly));
    dirs.write("XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n");
    dirs.close();

    const QString expected = home.path() + "/Schreibtisch/Mirelo";
    EXPECT_FALSE(QDir(expected).exists());
    EXPECT_EQ(AppState::outputFolder(), expected);
    EXPECT_TRUE(QDir(expected).exists());
    EXPECT_EQ(AppState::outputFolder(), expected);  // present already: same answer

    qputenv("HOME", oldHome);
    if (oldConfig.isNull()) {
        qunsetenv("XDG_CONFIG_HOME");
    } else {
        qputenv("XDG_CONFIG_HOME", oldConfig);
    }
}
