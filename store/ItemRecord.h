#pragma once
#include <QByteArray>
#include <QString>

// What an item's Info begins with when its last check failed; a failed measure is told so too.
inline QString ErrorPrefix()
{
    return QStringLiteral("エラー:");
}

// One watched page in memory.
struct ItemRecord {
    QString Title;
    QString URL;
    qint16 Err = 0;
    QString Info;
    qint16 Check2Byte = 0;
    // The item's file as the folder listing found it (its name as the file system's bytes),
    // so that it is read, rewritten and deleted in place; empty for an item without a file.
    QByteArray FileName = {};
};
