// The change decision fed arbitrary header, body and stored information.
#include "app/CodePage.h"
#include "app/Files.h"
#include "app/NumericValue.h"
#include "check/ChangeDecision.h"
#include <QList>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    ItemRecord item;
    item.Err = qint16(data[0] | (data[1] << 8));
    item.Check2Byte = qint16(data[2] % 3) - 1;
    const QList<QByteArray> parts =
        QByteArray(reinterpret_cast<const char*>(data) + 3, qsizetype(size - 3)).split('\0');
    const QString header = parts.size() > 1 ? QString::fromLatin1(parts.at(0)) : QString();
    const QString body = CodePage::FromAnsi(parts.last());
    item.Info = parts.size() > 2 ? CodePage::FromAnsi(parts.at(1)) : QString();

    const ChangeDecision d = DecideChange(header, body, item);
    if (!header.isEmpty()) {
        // The header is kept as the item file gives it back (one line, as stored), so once
        // stored it is unchanged.
        if (d.newInfo != CodePage::AsStored(Files::OneLine(header, true)) ||
            d.changed != (d.newInfo != item.Info))
            abort();
        ItemRecord saved = item;
        saved.Info = d.newInfo;
        if (DecideChange(header, body, saved).changed)
            abort();
    } else {
        const qint32 measure = MeasureBody(body, item.Check2Byte);
        if (measure < 0 || d.newInfo != NumberText(measure))
            abort();
        if (item.Err < 0 && !d.changed)
            abort();
    }
    return 0;
}
