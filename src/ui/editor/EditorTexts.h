#pragma once

#include "editor/EditorState.h"
#include "overlay/StickerLoader.h"

#include <QString>

// The words for what the editor model reports: refusals and their reasons.
namespace mirelo::editortexts {

QString describe(const EditorRefusal& refusal);
QString describe(StickerLoader::Failure failure);
QString describe(const MemoryShortage& shortage);

}  // namespace mirelo::editortexts
