#include "check/WebAddress.h"

QUrl WebAddress(const QString& text)
{
    const QString trimmed = text.trimmed();
    QUrl address(trimmed, QUrl::TolerantMode);
    if (address.isValid() && address.scheme().isEmpty())
        address = QUrl::fromUserInput(trimmed);
    return address;
}
