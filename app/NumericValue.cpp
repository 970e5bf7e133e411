#include "app/NumericValue.h"

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <locale.h>
#include <string>

namespace
{

bool isSkipped(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n';
}

// Walks the text, stepping over the characters that are skipped wherever they stand.
class Cursor final
{
public:
    explicit Cursor(QStringView text) : text_(text) { skip(); }
    bool atEnd() const { return pos_ >= text_.size(); }
    char16_t peek() const { return atEnd() ? u'\0' : text_[pos_].unicode(); }
    void next()
    {
        ++pos_;
        skip();
    }
    bool take(char16_t upperCase)
    {
        const char16_t c = peek();
        if (c == upperCase || (upperCase >= u'A' && upperCase <= u'Z' && c == upperCase + 32)) {
            next();
            return true;
        }
        return false;
    }

private:
    void skip()
    {
        while (pos_ < text_.size() && isSkipped(text_[pos_]))
            ++pos_;
    }
    QStringView text_;
    qsizetype pos_ = 0;
};

int digitValue(char16_t c, int base)
{
    int v = -1;
    if (c >= u'0' && c <= u'9')
        v = c - u'0';
    else if (c >= u'a' && c <= u'f')
        v = c - u'a' + 10;
    else if (c >= u'A' && c <= u'F')
        v = c - u'A' + 10;
    return v >= 0 && v < base ? v : -1;
}

double radixValue(Cursor& cur, int base)
{
    double value = 0;
    for (int d; (d = digitValue(cur.peek(), base)) >= 0; cur.next())
        value = value * base + d;
    return value;
}

// A '-' is kept, a '+' dropped.
void takeSign(Cursor& cur, std::string& out)
{
    if (cur.peek() == u'+' || cur.peek() == u'-') {
        if (cur.peek() == u'-')
            out += '-';
        cur.next();
    }
}

// Appends the run of decimal digits at the cursor; false when there is none.
bool takeDigits(Cursor& cur, std::string& out)
{
    bool any = false;
    for (; cur.peek() >= u'0' && cur.peek() <= u'9'; cur.next()) {
        out += static_cast<char>(cur.peek());
        any = true;
    }
    return any;
}

// strtod in the "C" locale, whatever locale the application set.
double parseDecimal(const std::string& text)
{
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return strtod_l(text.c_str(), nullptr, cLocale);
}

} // namespace

double NumericValue(QStringView text)
{
    Cursor cur(text);
    if (cur.take(u'&')) {
        if (cur.take(u'H'))
            return radixValue(cur, 16);
        if (cur.take(u'O'))
            return radixValue(cur, 8);
        return 0;
    }

    std::string number;
    takeSign(cur, number);
    bool anyDigit = takeDigits(cur, number);
    if (cur.peek() == u'.') {
        number += '.';
        cur.next();
        anyDigit = takeDigits(cur, number) || anyDigit;
    }
    if (!anyDigit)
        return 0;
    if (cur.take(u'E')) {
        std::string exponent = "e";
        takeSign(cur, exponent);
        if (takeDigits(cur, exponent))
            number += exponent;
    }
    return parseDecimal(number);
}

std::optional<qint16> RoundToInt16(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    // nearbyint rounds halves to even in the default rounding mode.
    const double rounded = std::nearbyint(value);
    if (rounded < -32768.0 || rounded > 32767.0)
        return std::nullopt;
    return static_cast<qint16>(rounded);
}

QString NumberText(qint64 value)
{
    return QString::number(value);
}
