#include "check/PageFilter.h"

#include <QCryptographicHash>

using namespace Qt::StringLiterals;

QString SelectorError(const QString& selector)
{
    QString error;
    return CssSelector::Parse(selector, &error) ? QString() : error;
}

QString PatternError(const QString& pattern)
{
    QString error;
    return IgnorePattern::Compile(pattern, &error) ? QString() : error;
}

PageFilter::PageFilter(const PageRules& rules)
{
    if (!rules.select.isEmpty()) {
        QString error;
        select_ = CssSelector::Parse(rules.select, &error);
        if (!select_)
            invalid_.append({RuleProblem::InvalidSelector, rules.select, error});
    }
    for (const QString& pattern : rules.ignore) {
        QString error;
        if (auto compiled = IgnorePattern::Compile(pattern, &error))
            ignore_.append(std::move(*compiled));
        else
            invalid_.append({RuleProblem::InvalidPattern, pattern, error});
    }
}

FilteredText PageFilter::Apply(QByteArrayView body, QByteArrayView contentType) const
{
    PageText::Text text = PageText::Extract(body, contentType, select_ ? &*select_ : nullptr);
    FilteredText out;
    out.cut = text.cut;
    out.binary = text.binary;
    out.problems = invalid_;
    if (ignore_.isEmpty() || text.lines.isEmpty()) {
        out.lines = std::move(text.lines);
        return out;
    }
    // Patterns see the lines joined by line feeds, so one may span lines or take a whole one.
    QString joined = text.lines.join(u'\n');
    const QDeadlineTimer deadline(IgnoreBudgetMs);
    for (const IgnorePattern& pattern : ignore_) {
        if (auto removed = pattern.RemovedFrom(joined, deadline))
            joined = std::move(*removed);
        else
            out.problems.append({RuleProblem::GaveUp, pattern.Pattern(), QString()});
    }
    const QStringList lines = joined.split(u'\n');
    for (const QString& line : lines) {
        QString simple = line.simplified();
        if (!simple.isEmpty())
            out.lines.append(std::move(simple));
    }
    return out;
}

QByteArray TextDigest(const FilteredText& text, QByteArrayView body)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (text.binary) {
        hash.addData("B\n");
        hash.addData(body);
    } else {
        hash.addData("T\n");
        for (const QString& line : text.lines) {
            hash.addData(line.toUtf8());
            hash.addData("\n");
        }
    }
    return hash.result();
}

QByteArray RulesKey(const PageRules& rules)
{
    // Raised whenever the extraction or the normalising gives other lines for the same page.
    constexpr char Extraction[] = "text 1\n";
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(Extraction);
    hash.addData(rules.select.toUtf8());
    for (const QString& pattern : rules.ignore) {
        hash.addData("\n");
        hash.addData(pattern.toUtf8());
    }
    return hash.result().first(16);
}
