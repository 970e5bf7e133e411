#pragma once
#include <QString>
#include <optional>

// The number at the start of a text, read as a double: blanks, tabs and line feeds are
// skipped anywhere; optional sign, digits, decimals, exponent (E, either case); &H hex, &O octal.
// A text that does not begin with a number gives 0.
double NumericValue(QStringView text);

// Rounds to the nearest integer, halves to the even neighbour; empty when the result does
// not fit a 16-bit signed field (or the value is not finite).
std::optional<qint16> RoundToInt16(double value);

// Number as text: decimal digits, a minus sign only when negative.
QString NumberText(qint64 value);
