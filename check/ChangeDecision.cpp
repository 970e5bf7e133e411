#include "check/ChangeDecision.h"

#include "app/CodePage.h"
#include "app/Files.h"
#include "app/Module1.h"
#include "app/NumericValue.h"

#include <cmath>

qint32 MeasureBody(const QString& body, qint16 check2Byte)
{
    if (check2Byte == 1)
        return CountDoubleByte(body);
    return qint32(body.size());
}

ChangeDecision DecideChange(const QString& header, const QString& body, const ItemRecord& item)
{
    ChangeDecision decision;
    if (!header.isEmpty()) {
        // Compared in the form the item file gives back, so that a value with bytes CP932
        // cannot decode (stored with '?' for them) still equals itself after a Save.
        // The same for a line break, which the item file holds as a blank.
        decision.newInfo = CodePage::AsStored(Files::OneLine(header, true));
        decision.changed = decision.newInfo != item.Info;
        return decision;
    }
    const qint32 measure = MeasureBody(body, item.Check2Byte);
    decision.newInfo = QString::number(measure);
    const double oldValue = NumericValue(item.Info);
    // A stored number beyond the range of a double cannot be compared; that counts as a change.
    if (!std::isfinite(oldValue)) {
        decision.changed = true;
        return decision;
    }
    decision.changed = std::fabs(oldValue - double(measure)) > double(item.Err);
    return decision;
}
