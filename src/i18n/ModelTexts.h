#pragma once

#include "capture/RecordingStore.h"
#include "capture/ScreenRecorder.h"
#include "export/ExportModel.h"
#include "export/ExportTypes.h"
#include "export/SizeLimit.h"

#include <QString>

// The words for what the model layers report as kinds and values, in the
// interface's language (the Chinese texts, or their translation).
namespace mirelo::i18n {

// The text of a failed export, for the "保存失败" alert and mirelo-convert.
QString describe(const ExportError& error);
// A byte count in decimal units (1 kB = 1000 bytes) as the size label shows
// it: "812 字节", "356 kB", "4.2 MB", "1.25 GB".
QString formatByteCount(qint64 bytes);
// What a size limit changed: "品质 62 · 减帧 50% · 缩放 50%", empty for nothing.
QString describe(const SizeLimit::Changes& changes);
// The size label: "计算中…", a size, "约 " and a size, or "估算失败"; with a
// size limit, what it changed follows ("4.8 MB · 品质 52"), or the text says
// that nothing fits ("超出限制:最小 12.3 MB").
QString describe(const SizeEstimate& estimate);
// The processed frames: "—" until known, then e.g. "42 帧 · 640×360".
QString describe(const ProcessedInfo& info);

QString describe(const StoreError& error);
QString describe(const RecorderError& error);

// A reason the system gives (strerror(), or Qt's file errors made from it) in
// the interface's language where it is a common one; any other as it is.
QString systemReason(const QString& detail);

}  // namespace mirelo::i18n
