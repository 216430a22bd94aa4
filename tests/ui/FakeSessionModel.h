#pragma once

#include "ui/recorder/SessionModel.h"

namespace mirelo::test {

// A session whose commands only count, with its protected flags opened up.
class FakeSessionModel : public SessionModel {
public:
    int toggles = 0;
    int picks = 0;
    int windowRecordings = 0;

    void toggleRecording() override { ++toggles; }
    void beginWindowPick() override { ++picks; }
    void beginWindowRecording() override { ++windowRecordings; }

    using SessionModel::setPickingWindow;
    using SessionModel::setRecording;
    using SessionModel::setRecordingWindow;
    using SessionModel::setStartingRecording;
};

}  // namespace mirelo::test
