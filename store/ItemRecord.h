#pragma once
#include <QString>

// One watched page in memory.
struct ItemRecord {
    QString Title;
    QString URL;
    qint16 Err = 0;
    QString Info;
    qint16 Check2Byte = 0;
};
