// The numeric value of arbitrary text, and its rounding into a 16-bit field.
#include "app/NumericValue.h"
#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const double value = NumericValue(text);
    if (std::isnan(value))
        abort();
    if (const auto rounded = RoundToInt16(value)) {
        if (std::fabs(double(*rounded) - value) > 0.5)
            abort();
    } else if (std::isfinite(value) && value > -32768.5 && value < 32767.5) {
        abort();
    }
    // The decimal text of a number reads back as that number.
    const qint64 n = qint64(size) * 7919 - 1000000;
    if (NumericValue(NumberText(n)) != double(n))
        abort();
    return 0;
}
