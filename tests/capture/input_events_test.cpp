// Input events beside a recording's frames: the log's records and their checks, the times
// made relative to the first frame, the key choice and pauses of the recorder, and a
// recording left by a killed process coming back with its events.
#include "capture/FrameStore.h"
#include "capture/InputEventLog.h"
#include "capture/ScreenRecorder.h"
#include "support/FakeCaptureBackend.h"
#include "support/TestImages.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace mirelo {
namespace {

InputEvent key(const QString& name, uint32_t modifiers, bool typing = false) {
    InputEvent event;
    event.kind = InputEvent::Kind::keyPress;
    event.keyName = name;
    event.modifiers = modifiers;
    event.typing = typing;
    return event;
}

InputEvent button(InputEvent::Kind kind, int which, QPoint at) {
    InputEvent event;
    event.kind = kind;
    event.button = which;
    event.position = at;
    return event;
}

StoreOptions optionsIn(const QTemporaryDir& dir) {
    StoreOptions options;
    options.root = dir.path();
    options.diskReserve = 0;
    return options;
}

TEST(InputEvent, CombinationsAndTheKeyChoice) {
    EXPECT_EQ(keyCombination(key("T", modifierShift | modifierCtrl)), "Ctrl+Shift+T");
    EXPECT_EQ(keyCombination(key("Enter", 0)), "Enter");
    EXPECT_EQ(keyCombination(key("↑", modifierAlt | modifierSuper)), "Alt+Super+↑");
    // A typed capital is the character alone, Shift or not.
    EXPECT_EQ(keyCombination(key("A", modifierShift, true)), "A");

    const InputEvent typed = key("a", 0, true);
    const InputEvent shortcut = key("S", modifierCtrl);
    const InputEvent click = button(InputEvent::Kind::buttonPress, 1, {3, 4});
    EXPECT_FALSE(keeps(InputCapture::shortcuts, typed));
    EXPECT_TRUE(keeps(InputCapture::shortcuts, shortcut));
    EXPECT_TRUE(keeps(InputCapture::shortcuts, click));
    EXPECT_TRUE(keeps(InputCapture::allKeys, typed));
    EXPECT_FALSE(keeps(InputCapture::none, click));
}

TEST(InputEventLog, RecordsReadBackAndReadingStopsAtDamage) {
    InputEvent first = key("Ctrl", 0);
    first = key("S", modifierCtrl);
    first.seconds = 0.25;
    InputEvent second = button(InputEvent::Kind::buttonRelease, 3, {-5, 700});
    second.seconds = 1.5;
    InputEvent third = key("中", 0, true);
    third.seconds = 2.0;
    InputEvent moved;
    moved.kind = InputEvent::Kind::pointerMove;
    moved.position = QPoint(-3, 41);
    moved.seconds = 2.5;

    QByteArray log = InputEventLog::header();
    for (const InputEvent& event : {first, second, third, moved}) {
        log += InputEventLog::encode(event);
    }
    std::vector<InputEvent> read = InputEventLog::parse(log);
    ASSERT_EQ(read.size(), 4u);
    EXPECT_EQ(read[0], first);
    EXPECT_EQ(read[1], second);
    EXPECT_EQ(read[2].keyName, QStringLiteral("中"));
    EXPECT_EQ(read[3], moved);

    // A record cut short by a crash, or one bit changed, ends the log there.
    EXPECT_EQ(InputEventLog::parse(log.left(log.size() - 3)).size(), 3u);

    QByteArray flipped = log;
    flipped[InputEventLog::header().size() + 12] ^= 0x10;
    EXPECT_TRUE(InputEventLog::parse(flipped).empty());
    // No header, no events; a length past the end is not believed.
    EXPECT_TRUE(InputEventLog::parse(log.mid(4)).empty());
    QByteArray huge = InputEventLog::header() + QByteArray("\xff\xff\xff\x7f\0\0\0\0", 8);
    EXPECT_TRUE(InputEventLog::parse(huge).empty());
}

TEST(FrameStoreInput, EventsCountFromTheFirstFrameAndStayOnDisk) {
    QTemporaryDir dir;
    FrameStore store(optionsIn(dir));
    ASSERT_EQ(store.begin(10), std::nullopt);
    InputEvent early = key("Esc", 0);
    early.time = MediaTime{5, 10, MediaTime::Valid};
    store.appendInput(early);  // before any frame: placed at the first
    const Image frame = test::solidImage(16, 16, Qt::green);
    store.append(frame, MediaTime{10, 10, MediaTime::Valid});
    store.append(frame, MediaTime{11, 10, MediaTime::Valid});
    InputEvent later = button(InputEvent::Kind::buttonPress, 1, {4, 5});
    later.time = MediaTime{1150, 1000, MediaTime::Valid};
    store.appendInput(later);

    const QStringList folders = QDir(dir.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    ASSERT_EQ(folders.size(), 1);
    const QString folder = QDir(dir.path()).filePath(folders[0]);
    // On disk before the recording ends.
    const std::vector<InputEvent> onDisk = InputEventLog::read(folder);
    ASSERT_EQ(onDisk.size(), 2u);
    EXPECT_DOUBLE_EQ(onDisk[0].seconds, 0.0);
    EXPECT_NEAR(onDisk[1].seconds, 0.15, 1e-9);

    ASSERT_EQ(store.drain().size(), 2u);
    const std::vector<InputEvent> events = store.lastInputEvents();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].position, QPoint(4, 5));
    // The events file goes with the recording's folder.
    store.takeLastRecording()->removeFiles();
    EXPECT_FALSE(QDir(folder).exists());
}

class RecorderInputTest : public ::testing::Test {
protected:
    RecorderInputTest() {
        backend->displayList = {CaptureDisplay{1, "A", QRect(0, 0, 1920, 1080)}};
    }

    void start() {
        bool done = false;
        recorder.start(QRectF(0, 0, 64, 48), 15, true, [&](std::optional<RecorderError> error) {
            EXPECT_EQ(error, std::nullopt);
            done = true;
        });
        ASSERT_TRUE(test::waitUntil([&] { return done; }, 5s));
    }

    void stop() {
        bool done = false;
        recorder.stop([&](std::vector<FrameStore::Frame>, std::optional<RecorderError> error) {
            EXPECT_EQ(error, std::nullopt);
            done = true;
        });
        ASSERT_TRUE(test::waitUntil([&] { return done; }, 5s));
    }

    QTemporaryDir dir;
    std::shared_ptr<test::FakeCaptureBackend> backend =
        std::make_shared<test::FakeCaptureBackend>();
    ScreenRecorder recorder{backend,
                            [] {
                                return std::vector<ScreenInfo>{{"A", 1.0}};
                            },
                            nullptr, optionsIn(dir)};
};

TEST_F(RecorderInputTest, ShortcutsOnlyNeverStoresTypingAndPausesCutEvents) {
    recorder.setInputCapture(InputCapture::shortcuts);
    start();
    EXPECT_EQ(backend->read(backend->lastConfiguration).inputCapture, InputCapture::shortcuts);
    const Image frame = test::solidImage(64, 48, Qt::white);
    // 15 fps, the fake's ticks are 1/30 s: a frame interval is 2 ticks.
    backend->deliverAt(frame, 100);
    backend->inputAt(key("a", 0, true), 101);
    backend->inputAt(key("S", modifierCtrl), 102);
    backend->deliverAt(frame, 102);
    ASSERT_TRUE(recorder.pause());
    backend->inputAt(button(InputEvent::Kind::buttonPress, 1, {1, 1}), 150);  // paused: cut
    ASSERT_TRUE(recorder.resume());
    // After the pause, before its first frame: placed where that frame will be.
    backend->inputAt(button(InputEvent::Kind::buttonPress, 3, {9, 9}), 200);
    backend->deliverAt(frame, 201);
    backend->inputAt(key("Enter", 0), 205);
    stop();

    const std::vector<InputEvent>& events = recorder.lastInputEvents();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].keyName, "S");
    EXPECT_NEAR(events[0].seconds, 2.0 / 30, 1e-9);
    EXPECT_EQ(events[1].button, 3);
    EXPECT_NEAR(events[1].seconds, 4.0 / 30, 1e-9);
    EXPECT_NEAR(events[2].seconds, 8.0 / 30, 1e-9);
    // The plain key never reached the disk either.
    for (const InputEvent& stored :
         InputEventLog::read(recorder.frameStore().takeLastRecording()->folder())) {
        EXPECT_FALSE(stored.typing);
    }
}

TEST_F(RecorderInputTest, APointerMovedDuringAPauseIsWhereTheNextFrameFindsIt) {
    recorder.setInputCapture(InputCapture::shortcuts);
    start();
    const Image frame = test::solidImage(64, 48, Qt::white);
    InputEvent moved;
    moved.kind = InputEvent::Kind::pointerMove;
    moved.position = QPoint(3, 4);
    backend->deliverAt(frame, 100);
    backend->inputAt(moved, 101);
    ASSERT_TRUE(recorder.pause());
    moved.position = QPoint(7, 8);
    backend->inputAt(moved, 150);
    moved.position = QPoint(9, 10);  // the last place before the pause ends counts
    backend->inputAt(moved, 160);
    ASSERT_TRUE(recorder.resume());
    backend->deliverAt(frame, 200);
    backend->deliverAt(frame, 202);
    stop();

    const std::vector<InputEvent>& events = recorder.lastInputEvents();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].position, QPoint(3, 4));
    EXPECT_EQ(events[1].position, QPoint(9, 10));
    // On the first frame after the pause, which follows the frame before it by one interval.
    EXPECT_NEAR(events[1].seconds, 2.0 / 30, 1e-9);
}

TEST_F(RecorderInputTest, AllKeysKeepsTypingAndNoneAsksForNothing) {
    recorder.setInputCapture(InputCapture::allKeys);
    start();
    backend->deliverAt(test::solidImage(64, 48, Qt::white), 10);
    backend->inputAt(key("b", 0, true), 11);
    stop();
    ASSERT_EQ(recorder.lastInputEvents().size(), 1u);

    recorder.setInputCapture(InputCapture::none);
    start();
    EXPECT_FALSE(backend->read(backend->sink).input);
    backend->deliverAt(test::solidImage(64, 48, Qt::white), 10);
    stop();
    EXPECT_TRUE(recorder.lastInputEvents().empty());
}

// A recorder killed with SIGKILL mid-recording leaves its events for the next start.
TEST(InputEventRecovery, AKilledRecordingKeepsItsEvents) {
    QTemporaryDir dir;
    QProcess writer;
    writer.start(QStringLiteral(INPUT_WRITER), {dir.path()});
    ASSERT_TRUE(writer.waitForStarted());
    QByteArray said;
    while (!said.contains("ready") && writer.waitForReadyRead(60'000)) {
        said += writer.readAllStandardOutput();
    }
    ASSERT_TRUE(said.contains("ready")) << said.constData();
    writer.kill();
    ASSERT_TRUE(writer.waitForFinished());

    const QStringList found = RecordingStore::leftovers(dir.path());
    ASSERT_EQ(found.size(), 1);
    auto recovered = RecordingStore::recover(found[0], optionsIn(dir));
    ASSERT_TRUE(recovered);
    const std::vector<InputEvent> events = InputEventLog::read(recovered->store->folder());
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(keyCombination(events[0]), "Ctrl+S");
    EXPECT_NEAR(events[0].seconds, 0.3, 1e-9);
    EXPECT_EQ(events[1].kind, InputEvent::Kind::buttonPress);
    EXPECT_EQ(events[1].position, QPoint(20, 30));
    recovered->store->removeFiles();
    EXPECT_FALSE(QDir(found[0]).exists());
}

}  // namespace
}  // namespace mirelo
