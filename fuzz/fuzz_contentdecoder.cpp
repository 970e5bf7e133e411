// Arbitrary bytes as a gzip/deflate body, fed in pieces: never more than the limit comes out,
// and what zlib compresses decodes back to the same bytes.
#include "check/ContentDecoder.h"
#include <cstdlib>
#include <zlib.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const auto coding = ContentDecoder::Coding(data[0] % 3);
    const qsizetype limit = 1 + data[1] * 257;
    const QByteArrayView input(reinterpret_cast<const char*>(data) + 2, qsizetype(size - 2));

    ContentDecoder decoder(coding, limit);
    QByteArray out;
    const qsizetype piece = 1 + data[1] % 97;
    for (qsizetype at = 0; at < input.size(); at += piece) {
        if (!decoder.Feed(input.sliced(at, qMin(piece, input.size() - at)), out))
            break;
        if (out.size() > limit)
            abort();
    }

    // A real zlib stream of the input decodes to the input, cut at the limit.
    uLongf packedSize = compressBound(uLong(input.size()));
    QByteArray packed(qsizetype(packedSize), Qt::Uninitialized);
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                  reinterpret_cast<const Bytef*>(input.data()), uLong(input.size()), 6) != Z_OK)
        abort();
    packed.truncate(qsizetype(packedSize));
    ContentDecoder deflate(ContentDecoder::Coding::Deflate, limit);
    QByteArray plain;
    for (qsizetype at = 0; at < packed.size(); at += piece)
        if (!deflate.Feed(QByteArrayView(packed).sliced(at, qMin(piece, packed.size() - at)),
                          plain))
            abort();
    if (plain != input.first(qMin(input.size(), limit)))
        abort();
    return 0;
}
