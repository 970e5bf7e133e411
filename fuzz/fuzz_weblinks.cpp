// Dropped or pasted data in each form a browser gives: every link taken is an http(s) URL with
// a host and a title that can be an item file name; a made title always can.
#include "store/ItemFile.h"
#include "store/WebLinks.h"
#include <QMimeData>
#include <QUrl>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    static const char* const formats[] = {"text/x-moz-url", "_NETSCAPE_URL", "text/uri-list",
                                          "text/plain"};
    const QByteArray bytes(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    QMimeData mime;
    mime.setData(QString::fromLatin1(formats[data[0] % 4]), bytes);
    const WebLinks links = LinksIn(&mime);
    for (const WebLink& link : links.Links) {
        const QUrl url(link.URL);
        const QString scheme = url.scheme().toLower();
        if ((scheme != u"http" && scheme != u"https") || url.host().isEmpty() ||
            !TitleProblem(link.Title).isEmpty())
            abort();
    }
    const QString suffix = data[0] & 0x80 ? QStringLiteral(" (12)") : QString();
    const QString title = TitleAsFileName(QString::fromUtf8(bytes), suffix);
    if (!title.isEmpty() && !TitleProblem(title + suffix).isEmpty())
        abort();
    return 0;
}
