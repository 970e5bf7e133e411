#pragma once
// INI ("private profile") files with the Windows semantics, in CP932 with CRLF.
#include <QByteArray>
#include <QList>
#include <QString>

#include <utility>

namespace Profile
{
// Copies at most size - 1 bytes (CP932) of the value; section and key match without regard
// to case; blanks around the value are trimmed and matching quotes removed.
QString GetPrivateProfileString(const QString& section, const QString& key,
                                const QString& defaultValue, int size, const QString& file);
// The leading integer of the value, 0 when it has none; defaultValue when missing.
int GetPrivateProfileInt(const QString& section, const QString& key, int defaultValue,
                         const QString& file);
// Replaces the value in place, or adds the key / section; keeps every other line; creates
// the file when missing. Atomic. Returns false when the file could not be written; then the
// file is as it was and error (when given) says why, for the user.
bool WritePrivateProfileString(const QString& section, const QString& key, const QString& value,
                               const QString& file, QString* error = nullptr);
// The same for several keys of one section in one replacement of the file: the result is
// that of writing them one after the other, in order, but no failure leaves some written.
using KeyValues = QList<std::pair<QString, QString>>;
bool WritePrivateProfileStrings(const QString& section, const KeyValues& keyValues,
                                const QString& file, QString* error = nullptr);

// The same over a settings file's bytes in memory (for fuzzing the round trip without a disk):
// what the two reads give, and the bytes WritePrivateProfileStrings writes over them.
QString ProfileStringIn(const QByteArray& bytes, const QString& section, const QString& key,
                        const QString& defaultValue, int size);
int ProfileIntIn(const QByteArray& bytes, const QString& section, const QString& key,
                 int defaultValue);
QByteArray WithProfileStrings(const QByteArray& bytes, const QString& section,
                              const KeyValues& keyValues);
} // namespace Profile
