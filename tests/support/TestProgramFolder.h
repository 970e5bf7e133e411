#pragma once
// A temporary program folder that AppFolder points at while the fixture lives, with an empty
// default item folder "URLs/" in it.
#include "store/ItemRecord.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// The file's bytes, empty when it cannot be read.
QByteArray ReadAll(const QString& path);
// Creates or truncates the file with bytes (a test failure when it cannot be opened).
void WriteAll(const QString& path, const QByteArray& bytes);

// The record's fields in order (Title, URL, Err, Info, Check2Byte), so that one comparison
// checks them all and shows them all when it fails.
QStringList ItemFields(const ItemRecord& item);

class TestProgramFolder final
{
public:
    TestProgramFolder();
    ~TestProgramFolder();
    TestProgramFolder(const TestProgramFolder&) = delete;
    TestProgramFolder& operator=(const TestProgramFolder&) = delete;

    bool isValid() const { return valid; }
    // The folders with their separator: the program folder and its default item folder.
    QString path() const { return dir.path() + u'/'; }
    QString itemFolder() const { return path() + QStringLiteral("URLs/"); }
    QString ini() const { return path() + QStringLiteral("SiteVigil.ini"); }

private:
    QTemporaryDir dir;
    bool valid = false;
};
