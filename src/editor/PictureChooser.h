#pragma once

#include <QString>

namespace mirelo {

// Asks the user for one picture file (PNG or JPEG) for a sticker. The editor
// window passes an open dialog; tests pass their own. The model loads and
// checks the file itself.
class PictureChooser {
public:
    virtual ~PictureChooser() = default;
    // The chosen file's path, or an empty string when the user cancelled.
    virtual QString choosePicture() = 0;
};

}  // namespace mirelo
