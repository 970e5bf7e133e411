#pragma once
// The ANSI code page of item and settings files is CP932 (Windows-31J) whatever the
// locale, so files from a Japanese Windows machine keep their meaning here.
#include <QByteArray>
#include <QString>

namespace CodePage
{
// A character CP932 cannot hold becomes one byte '?'.
QByteArray ToAnsi(QStringView text);
// Each byte (or byte pair) CP932 cannot decode becomes one U+FFFD.
QString FromAnsi(QByteArrayView bytes);
// The first byte of a double-byte character.
bool IsLeadByte(unsigned char b);
// The text as a CP932 file gives it back once written.
QString AsStored(QStringView text);
// The distinct characters of text, in order, that CP932 cannot hold (they would be stored as
// '?'); with exact, also those it holds only as another character ("¥" read back as "\\").
QString Unrepresentable(QStringView text, bool exact);
// Tells the user which characters of lost (as Unrepresentable gives them) field cannot keep.
QString UnrepresentableMessage(const QString& field, const QString& lost);
// The URL with every character that CP932 does not give back exactly in the form a browser
// sends it: in the host name its label in ACE form ("xn--..."), elsewhere its UTF-8 bytes
// percent-encoded. Other characters stay as they are.
QString AnsiUrl(QStringView url);
} // namespace CodePage
