// CP932 both ways on arbitrary bytes and arbitrary UTF-16 (lone surrogates included).
#include "app/CodePage.h"
#include "app/Module1.h"
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString decoded = CodePage::FromAnsi(bytes);
    if (decoded.size() > bytes.size())
        abort();
    // After one trip through the code page the text is stable.
    const QString once = CodePage::FromAnsi(CodePage::ToAnsi(decoded));
    const QString twice = CodePage::FromAnsi(CodePage::ToAnsi(once));
    if (once != twice)
        abort();

    QString wide(qsizetype(size / 2), Qt::Uninitialized);
    std::memcpy(wide.data(), data, (size / 2) * 2);
    const QByteArray ansi = CodePage::ToAnsi(wide);
    if (ansi.size() > 2 * wide.size())
        abort();
    const qint32 count = CountDoubleByte(wide);
    if (count < 0 || count > wide.size())
        abort();
    return 0;
}
