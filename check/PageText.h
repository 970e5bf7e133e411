#pragma once
// The visible text of a page for the change view, line by line. Decoding here is for display
// only; the size measure of the decision keeps its own.
#include <QByteArray>
#include <QString>
#include <QStringList>

class CssSelector;

namespace PageText
{

enum class Kind { Html, Plain, Binary };

// HTML by its Content-Type (or, without one, by a leading '<'); text for text/*, XML, JSON and
// script types; anything else, and an untyped body with NUL bytes near its start, is binary.
Kind KindOf(QByteArrayView body, QByteArrayView contentType);

// The charset of Content-Type, else of a <meta> near the start of the body, else UTF-8 when the
// bytes are valid UTF-8 (a sequence cut at the end allowed), else CP932. A charset Qt does not
// know is passed over.
QString Decode(QByteArrayView body, QByteArrayView contentType);

// A body of this many bytes or more is taken as cut by the transfer's limit.
constexpr qsizetype CutBytes = 65535;

struct Text {
    QStringList lines;
    bool cut = false;    // the body filled CutBytes: its last line, cut short, is left out
    bool binary = false; // no text to compare
};

// HTML: what a reader sees, scripts, styles and comments dropped, one line per block element
// and <br>, lines of <pre> and <textarea> as they stand, blanks collapsed, empty lines left out;
// with select, only the text inside the elements it matches. Plain text: its lines.
Text Extract(QByteArrayView body, QByteArrayView contentType, const CssSelector* select = nullptr);

// The lines of Extract for the whole page.
QStringList Lines(QByteArrayView body, QByteArrayView contentType);

} // namespace PageText
