#include "check/TextDecision.h"

#include "check/ErrorInfo.h"

using namespace Qt::StringLiterals;

namespace
{

QString usualReason(int status)
{
    switch (status) {
    case 400:
        return u"Bad Request"_s;
    case 401:
        return u"Unauthorized"_s;
    case 403:
        return u"Forbidden"_s;
    case 404:
        return u"Not Found"_s;
    case 405:
        return u"Method Not Allowed"_s;
    case 406:
        return u"Not Acceptable"_s;
    case 408:
        return u"Request Timeout"_s;
    case 410:
        return u"Gone"_s;
    case 429:
        return u"Too Many Requests"_s;
    case 451:
        return u"Unavailable For Legal Reasons"_s;
    case 500:
        return u"Internal Server Error"_s;
    case 501:
        return u"Not Implemented"_s;
    case 502:
        return u"Bad Gateway"_s;
    case 503:
        return u"Service Unavailable"_s;
    case 504:
        return u"Gateway Timeout"_s;
    default:
        return {};
    }
}

void addProblems(QList<RuleProblem>& to, const QList<RuleProblem>& from)
{
    for (const RuleProblem& p : from)
        if (!to.contains(p))
            to.append(p);
}

TextVerdict unchanged(TextVerdict v, const TextInput& in)
{
    v.headerOnly = in.partDecision.changed;
    v.outcome =
        in.storedInfo.startsWith(u"エラー:"_s) ? TextOutcome::Recovered : TextOutcome::Unchanged;
    return v;
}

} // namespace

QString HttpFailureText(int status, const QString& reason)
{
    const QString why = reason.trimmed().isEmpty() ? usualReason(status) : reason.trimmed();
    return why.isEmpty() ? u"HTTP %1"_s.arg(status) : u"HTTP %1 %2"_s.arg(status).arg(why);
}

TextVerdict DecideByText(const TextInput& in)
{
    TextVerdict v;
    if (in.status >= 400) {
        v.outcome = TextOutcome::HttpFailure;
        v.newInfo = ErrorInfo(HttpFailureText(in.status, in.reason));
        return v;
    }
    v.newInfo = in.partDecision.newInfo;
    const PageFilter filter(in.rules);
    // The same bytes give the same text (whatever a pattern that ran out of time did): most
    // pages of a run, and with the digest stored no parse for them at all.
    const bool sameBytes =
        in.kept && in.body == in.kept->body && in.contentType == in.kept->contentType;
    if (sameBytes && !in.keptDigest.isEmpty()) {
        v.digest = in.keptDigest;
        v.problems = filter.Invalid();
        v.cut = in.body.size() >= PageText::CutBytes &&
                PageText::KindOf(in.body, in.contentType) != PageText::Kind::Binary;
        return unchanged(v, in);
    }
    const FilteredText now = filter.Apply(in.body, in.contentType);
    v.digest = TextDigest(now, in.body);
    v.problems = now.problems;
    v.cut = now.cut;
    if (!in.kept) {
        v.outcome = TextOutcome::NoBaseline;
        v.listed = in.partDecision.changed;
        return v;
    }
    QByteArray before = sameBytes ? v.digest : in.keptDigest;
    if (before.isEmpty()) {
        const FilteredText then = filter.Apply(in.kept->body, in.kept->contentType);
        before = TextDigest(then, in.kept->body);
        addProblems(v.problems, then.problems);
        v.cut = v.cut || then.cut;
    }
    if (before != v.digest) {
        v.outcome = TextOutcome::Changed;
        v.listed = true;
        return v;
    }
    return unchanged(v, in);
}
