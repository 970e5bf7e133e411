#include "check/ChangeReport.h"

#include "check/PageText.h"

using namespace Qt::StringLiterals;

QString InfoChange(const PageSample& page)
{
    if (page.headerPath)
        return u"Last-modified: %1 → %2"_s.arg(page.oldInfo, page.newInfo);
    const QString measure = page.check2Byte == 1 ? u"全角文字数"_s : u"文字数"_s;
    return u"%1 %2 → %3 (許容誤差 %4)"_s.arg(measure, page.oldInfo, page.newInfo).arg(page.err);
}

QList<DiffLine> ChangeReport(const PageSample& page, const std::optional<KeptPage>& kept,
                             int budgetMs)
{
    QList<DiffLine> out{{DiffLine::Plain, page.url}, {DiffLine::Plain, InfoChange(page)}};
    if (page.status != 200 && page.status != 0)
        out.append({DiffLine::Plain, u"HTTP ステータス %1"_s.arg(page.status)});
    out.append({DiffLine::Plain, QString()});

    auto appendText = [&](const QStringList& lines) {
        for (const QString& line : lines)
            out.append({DiffLine::Plain, line});
    };
    if (PageText::KindOf(page.body, page.contentType) == PageText::Kind::Binary) {
        out.append(
            {DiffLine::Plain, u"本文がテキストではないため、内容は比較できません (%1)。"_s.arg(
                                  QString::fromLatin1(page.contentType))});
        return out;
    }
    const QStringList newLines = PageText::Lines(page.body, page.contentType);
    if (!kept) {
        out.append({DiffLine::Plain, u"前回の内容は保存されていません。"_s});
        appendText(newLines);
        return out;
    }
    const QStringList oldLines = PageText::Lines(kept->body, kept->contentType);
    const LineDiff diff = LineDiff::Compare(oldLines, newLines, budgetMs);
    if (diff.gaveUp) {
        out.append({DiffLine::Plain, u"違いが多すぎるため、比較を途中でやめました。今回の内容:"_s});
        appendText(newLines);
    } else if (diff.lines.isEmpty()) {
        out.append({DiffLine::Plain, u"本文の文字は前回の内容と同じです。"_s});
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
