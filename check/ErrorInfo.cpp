#include "check/ErrorInfo.h"

#include "store/ItemRecord.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

QString ErrorInfo(const QString& responseInfo)
{
    static const QRegularExpression lineBreak(uR"(\r\n|[\r\n\v\f\x{85}\x{2028}\x{2029}])"_s);
    QString text = responseInfo;
    text.replace(lineBreak, u" "_s);
    return ErrorPrefix() + text;
}
