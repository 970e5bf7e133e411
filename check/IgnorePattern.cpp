#include "check/IgnorePattern.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

using namespace Qt::StringLiterals;

struct IgnorePattern::Code {
    pcre2_code* code = nullptr;
    pcre2_match_context* context = nullptr;
    pcre2_jit_stack* stack = nullptr;
    ~Code()
    {
        pcre2_jit_stack_free(stack);
        pcre2_match_context_free(context);
        pcre2_code_free(code);
    }
};

namespace
{

PCRE2_SPTR16 units(const QString& text)
{
    return reinterpret_cast<PCRE2_SPTR16>(text.utf16());
}

} // namespace

std::optional<IgnorePattern> IgnorePattern::Compile(const QString& pattern, QString* error)
{
    auto fail = [&](const QString& why) -> std::optional<IgnorePattern> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (pattern.isEmpty())
        return fail(u"パターンが空です。"_s);
    int code = 0;
    PCRE2_SIZE offset = 0;
    auto compiled = std::make_shared<Code>();
    compiled->code = pcre2_compile_16(units(pattern), PCRE2_SIZE(pattern.size()), PCRE2_UTF, &code,
                                      &offset, nullptr);
    if (!compiled->code) {
        PCRE2_UCHAR16 message[256];
        pcre2_get_error_message_16(code, message, 256);
        return fail(u"正規表現の誤り(%1文字目): %2"_s.arg(offset + 1)
                        .arg(QString::fromUtf16(reinterpret_cast<const char16_t*>(message))));
    }
    // Without JIT (not built for this machine) the interpreter runs under the same limits.
    if (pcre2_jit_compile_16(compiled->code, PCRE2_JIT_COMPLETE) == 0)
        compiled->stack = pcre2_jit_stack_create_16(32 * 1024, 512 * 1024, nullptr);
    compiled->context = pcre2_match_context_create_16(nullptr);
    pcre2_set_match_limit_16(compiled->context, MatchLimit);
    // Only the interpreter: backtracking depth and its memory, enough for a line per character.
    pcre2_set_depth_limit_16(compiled->context, 100'000);
    pcre2_set_heap_limit_16(compiled->context, 32 * 1024); // KiB
    if (compiled->stack)
        pcre2_jit_stack_assign_16(compiled->context, nullptr, compiled->stack);
    IgnorePattern out;
    out.pattern_ = pattern;
    out.code_ = std::move(compiled);
    return out;
}

std::optional<QString> IgnorePattern::RemovedFrom(const QString& text,
                                                  QDeadlineTimer deadline) const
{
    pcre2_match_data_16* data = pcre2_match_data_create_from_pattern_16(code_->code, nullptr);
    const PCRE2_SIZE length = PCRE2_SIZE(text.size());
    QString out;
    PCRE2_SIZE kept = 0;  // text before this is decided
    PCRE2_SIZE start = 0; // where the next search begins
    uint32_t flags = 0;
    bool gaveUp = false;
    for (;;) {
        const int rc = pcre2_match_16(code_->code, units(text), length, start,
                                      flags | PCRE2_NO_UTF_CHECK, data, code_->context);
        if (rc == PCRE2_ERROR_NOMATCH)
            break;
        if (rc < 0 || deadline.hasExpired()) {
            gaveUp = true;
            break;
        }
        const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer_16(data);
        PCRE2_SIZE from = ovector[0], to = ovector[1];
        if (from > to || to > length) { // \K in a lookahead can report such a match
            gaveUp = true;
            break;
        }
        if (from > kept)
            out.append(QStringView(text).sliced(qsizetype(kept), qsizetype(from - kept)));
        kept = std::max(kept, to);
        start = to;
        // After an empty match the next one must not be empty at the same place.
        flags = from == to ? PCRE2_NOTEMPTY_ATSTART : 0;
        if (from == to && to >= length)
            break;
    }
    pcre2_match_data_free_16(data);
    if (gaveUp)
        return std::nullopt;
    if (kept < length)
        out.append(QStringView(text).sliced(qsizetype(kept)));
    return out;
}
