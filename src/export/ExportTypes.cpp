#include "export/ExportTypes.h"

namespace mirelo {

ExportError ExportError::of(Kind kind) {
    ExportError error;
    error.kind = kind;
    if (kind == Kind::encodeFailed) {
        error.cause = Cause::unknown;
    }
    return error;
}

ExportError ExportError::encodeFailed(Cause cause) {
    ExportError error;
    error.cause = cause;
    return error;
}

ExportError ExportError::encodeFailed(const QString& detail) {
    ExportError error;
    error.detail = detail;
    return error;
}

ExportError ExportError::frameWriteFailed(int index) {
    ExportError error;
    error.kind = Kind::frameWriteFailed;
    error.frame = index;
    return error;
}

}  // namespace mirelo
