#pragma once
// The ANSI code page of item and settings files is CP932 (Windows-31J) whatever the
// locale, so files from a Japanese Windows machine keep their meaning here.
#include <QByteArray>
#include <QString>

namespace CodePage {
// A character CP932 cannot hold becomes one byte '?'.
QByteArray ToAnsi(QStringView text);
// Each byte (or byte pair) CP932 cannot decode becomes one U+FFFD.
QString FromAnsi(QByteArrayView bytes);
// The first byte of a double-byte character.
bool IsLeadByte(unsigned char b);
} // namespace CodePage
