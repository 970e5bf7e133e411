#pragma once
// Decides whether a page changed since its stored update information.
#include "store/ItemRecord.h"
#include <QString>

// The size measure of the first body block: CountDoubleByte when check2Byte is exactly 1,
// otherwise the length in characters.
qint32 MeasureBody(const QString& body, qint16 check2Byte);

struct ChangeDecision {
    bool changed = false;
    QString newInfo;
};

// header: the "Last-modified" value (empty when absent); body: the first block as text.
// Header path: changed when header, as the item file would give it back, differs from
// item.Info exactly. Size path: changed when |NumericValue(Info) - measure| > Err.
ChangeDecision DecideChange(const QString& header, const QString& body, const ItemRecord& item);
