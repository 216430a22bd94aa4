#pragma once

#include <QDir>
#include <QString>
#include <QStringList>

namespace mirelo {

// Whether name `a` sorts before `b` with runs of digits compared by value (frame2 before
// frame10; of equal values, fewer leading zeros first).
bool naturalLess(const QString& a, const QString& b);

// The files of `folder` whose names end in one of `patterns` (such as "*.png", any case),
// in natural order.
QStringList filesInNaturalOrder(const QDir& folder, const QStringList& patterns);

}  // namespace mirelo
