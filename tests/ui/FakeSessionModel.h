#pragma once

#include "ui/recorder/SessionModel.h"

namespace mirelo::test {

// A session whose commands only count, with its protected flags opened up.
class FakeSessionModel : public SessionModel {
public:
    int toggles = 0;
    int picks = 0;

    void toggleRecording() override { ++toggles; }
    void beginWindowPick() override { ++picks; }

    using SessionModel::setPickingWindow;
    using SessionModel::setRecording;
    using SessionModel::setStartingRecording;
};

}  // namespace mirelo::test
