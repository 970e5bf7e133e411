#include "check/ChangeReport.h"

#include "check/PageText.h"
#include "store/ItemRecord.h"

using namespace Qt::StringLiterals;

namespace
{

QString problemText(const RuleProblem& problem)
{
    switch (problem.kind) {
    case RuleProblem::InvalidSelector:
        return u"判定ルール Select=%1 は使えないため無視しました: %2"_s.arg(problem.rule,
                                                                            problem.reason);
    case RuleProblem::InvalidPattern:
        return u"判定ルール Ignore=%1 は使えないため無視しました: %2"_s.arg(problem.rule,
                                                                            problem.reason);
    case RuleProblem::GaveUp:
        break;
    }
    return u"判定ルール Ignore=%1 は時間がかかりすぎるため、途中でやめました。"_s.arg(problem.rule);
}

} // namespace

QString InfoChange(const PageSample& page)
{
    const QString measure = page.check2Byte == 1 ? u"全角文字数"_s : u"文字数"_s;
    // An error is no measure and no date: said as what it was.
    if (page.oldInfo.startsWith(ErrorPrefix()))
        return u"前回: %1 → %2"_s.arg(page.oldInfo, page.headerPath
                                                        ? u"Last-modified: "_s + page.newInfo
                                                        : measure + u' ' + page.newInfo);
    if (page.headerPath)
        return u"Last-modified: %1 → %2"_s.arg(page.oldInfo, page.newInfo);
    return u"%1 %2 → %3 (許容誤差 %4)"_s.arg(measure, page.oldInfo, page.newInfo).arg(page.err);
}

QList<DiffLine> ChangeReport(const PageSample& page, const std::optional<KeptPage>& kept,
                             int budgetMs)
{
    QList<DiffLine> out{{DiffLine::Plain, page.url}, {DiffLine::Plain, InfoChange(page)}};
    if (page.status != 200 && page.status != 0)
        out.append({DiffLine::Plain, u"HTTP ステータス %1"_s.arg(page.status)});

    auto appendText = [&](const QStringList& lines) {
        for (const QString& line : lines)
            out.append({DiffLine::Plain, line});
    };
    if (PageText::KindOf(page.body, page.contentType) == PageText::Kind::Binary) {
        out.append({DiffLine::Plain, QString()});
        out.append(
            {DiffLine::Plain, u"本文がテキストではないため、内容は比較できません (%1)。"_s.arg(
                                  QString::fromLatin1(page.contentType))});
        return out;
    }
    // The same text the decision compared: inside Select, without what Ignore removes.
    const PageFilter filter(page.rules);
    const FilteredText now = filter.Apply(page.body, page.contentType);
    const std::optional<FilteredText> then =
        kept ? std::optional(filter.Apply(kept->body, kept->contentType)) : std::nullopt;
    QList<RuleProblem> problems = now.problems;
    for (const RuleProblem& p : then ? then->problems : QList<RuleProblem>())
        if (!problems.contains(p))
            problems.append(p);
    for (const RuleProblem& p : problems)
        out.append({DiffLine::Plain, problemText(p)});
    out.append({DiffLine::Plain, QString()});
    static_assert(PageText::CutBytes == 65535, "the note names the size");
    if (now.cut || (then && then->cut))
        out.append({DiffLine::Plain, u"先頭の 65,535 バイトだけを比較しています。"_s});

    if (!then) {
        out.append({DiffLine::Plain, page.byText ? u"比較できるページがまだありません"_s
                                                 : u"前回の内容は保存されていません。"_s});
        appendText(now.lines);
        return out;
    }
    const LineDiff diff = LineDiff::Compare(then->lines, now.lines, budgetMs);
    if (diff.gaveUp) {
        out.append({DiffLine::Plain, u"違いが多すぎるため、比較を途中でやめました。今回の内容:"_s});
        appendText(now.lines);
    } else if (diff.lines.isEmpty()) {
        const bool dateOnly = page.headerPath && page.oldInfo != page.newInfo &&
                              !page.oldInfo.startsWith(ErrorPrefix());
        out.append({DiffLine::Plain,
                    dateOnly ? u"本文は前回と同じです。Last-modified だけが変わりました。"_s
                             : u"本文の文字は前回の内容と同じです。"_s});
    } else {
        out.append(diff.lines);
    }
    return out;
}

QList<DiffLine> ErrorReport(const QList<RunError>& errors)
{
    QList<DiffLine> out;
    if (errors.isEmpty())
        return out;
    out.append({DiffLine::Plain, u"エラーになったページ:"_s});
    for (const RunError& e : errors) {
        out.append({DiffLine::Plain, QString()});
        out.append({DiffLine::Plain, e.title});
        out.append({DiffLine::Plain, e.url});
        out.append({DiffLine::Plain, e.error});
    }
    return out;
}
