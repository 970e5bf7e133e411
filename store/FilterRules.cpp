#include "store/FilterRules.h"

#include "app/CodePage.h"
#include "app/Module1.h"
#include "store/ItemFile.h"
#include "store/ItemFolder.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace
{

const QString FilterHeader = u"[SiteVigil.Filter]"_s;
const QString PrivateHeader = u"[SiteVigil]"_s;
const QString SelectKey = u"Select="_s;
const QString IgnoreKey = u"Ignore="_s;

bool hasKey(const QString& line, const QString& key)
{
    return line.left(key.size()).compare(key, Qt::CaseInsensitive) == 0;
}

bool isRuleLine(const QString& line)
{
    return hasKey(line, SelectKey) || hasKey(line, IgnoreKey);
}

QByteArray ruleLines(const FilterRules& rules, const Files::TextEncoding& text)
{
    QByteArray lines;
    if (!rules.select.isEmpty())
        lines += text.encode(SelectKey + rules.select) + "\r\n";
    for (const QString& pattern : rules.ignore) {
        if (!pattern.isEmpty())
            lines += text.encode(IgnoreKey + pattern) + "\r\n";
    }
    return lines;
}

} // namespace

bool FilterRules::isEmpty() const
{
    return select.isEmpty() &&
           std::all_of(ignore.begin(), ignore.end(), [](const QString& p) { return p.isEmpty(); });
}

FilterRules ReadFilterRules(const QByteArray& bytes)
{
    FilterRules rules;
    if (Files::IsUtf16(bytes))
        return rules;
    QByteArray content = bytes;
    const Files::TextEncoding text = Files::TakeByteOrderMark(&content);
    const QList<QByteArray> lines = Files::SplitLinesAtCR(content);
    bool inFilter = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = text.decode(lines[i]);
        if (line == PrivateHeader) {
            // Its three lines are values by position, whatever they look like.
            inFilter = false;
            i += 3;
        } else if (IsSectionHeader(line)) {
            inFilter = line == FilterHeader;
            rules.present = rules.present || inFilter;
        } else if (inFilter && hasKey(line, SelectKey)) {
            rules.select = line.mid(SelectKey.size());
        } else if (inFilter && hasKey(line, IgnoreKey)) {
            if (const QString pattern = line.mid(IgnoreKey.size()); !pattern.isEmpty())
                rules.ignore.append(pattern);
        }
    }
    return rules;
}

FilterRules ReadFilterRules(const QString& folderPath, const QByteArray& fileName)
{
    QByteArray bytes;
    QString error;
    if (!Files::Read(ListedFilePath(folderPath, fileName), &bytes, &error, MaxItemFileBytes))
        return {};
    return ReadFilterRules(bytes);
}

QString FilterRulesProblem(const FilterRules& rules)
{
    const auto problem = [](const QString& field, const QString& rule) -> QString {
        if (rule.contains(u'\r') || rule.contains(u'\n'))
            return u"%1に改行は使えません。"_s.arg(field);
        // "¥" would come back as "\", which means something else in a pattern.
        if (const QString lost = CodePage::Unrepresentable(rule, true); !lost.isEmpty())
            return CodePage::UnrepresentableMessage(field, lost);
        return {};
    };
    if (QString p = problem(u"判定する範囲"_s, rules.select); !p.isEmpty())
        return p;
    for (const QString& pattern : rules.ignore) {
        if (QString p = problem(u"無視する文字"_s, pattern); !p.isEmpty())
            return p;
    }
    return {};
}

QString LiteralIgnorePattern(const QString& text, QString* why)
{
    const auto refused = [why](const QString& reason) {
        if (why)
            *why = reason;
        return QString();
    };
    const QString simple = text.simplified();
    if (simple.isEmpty())
        return refused(u"無視する文字が選ばれていません。"_s);
    const QString trimmed = text.trimmed();
    if (trimmed.contains(u'\n') || trimmed.contains(u'\r') ||
        trimmed.contains(QChar::ParagraphSeparator) || trimmed.contains(QChar::LineSeparator))
        return refused(u"選んだ文字が複数の行にわたっています。1行の中で選んでください。"_s);
    if (const QString lost = CodePage::Unrepresentable(simple, true); !lost.isEmpty())
        return refused(CodePage::UnrepresentableMessage(u"無視する文字"_s, lost));
    QString pattern;
    pattern.reserve(simple.size() * 2);
    for (const QChar c : simple) {
        if (u"\\^$.|?*+()[]{}"_s.contains(c))
            pattern += u'\\';
        pattern += c;
    }
    return pattern;
}

QByteArray WithFilterRules(const QByteArray& content, const FilterRules& rules,
                           const Files::TextEncoding& text)
{
    const QList<QByteArray> lines = Files::SplitLinesAtCR(content);
    QList<QString> decoded;
    decoded.reserve(lines.size());
    for (const QByteArray& line : lines)
        decoded.append(text.decode(line));
    const bool hasSection = decoded.contains(FilterHeader);
    const QByteArray newRules = ruleLines(rules, text);
    const QByteArray newSection =
        newRules.isEmpty() ? QByteArray() : text.encode(FilterHeader) + "\r\n" + newRules;

    QByteArray out;
    bool placed = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (decoded[i] == PrivateHeader) {
            if (!hasSection && !placed) {
                out += newSection;
                placed = true;
            }
            for (qsizetype k = i; k <= i + 3 && k < lines.size(); ++k)
                out += lines[k] + "\r\n";
            i += 3;
        } else if (decoded[i] == FilterHeader) {
            // The rules go right after the first header; lines that are no rule stay, and a
            // section left with nothing but blank lines goes.
            QList<QByteArray> others;
            bool keep = !placed && !newRules.isEmpty();
            qsizetype j = i + 1;
            for (; j < lines.size() && !IsSectionHeader(decoded[j]); ++j) {
                if (isRuleLine(decoded[j]))
                    continue;
                others.append(lines[j]);
                keep = keep || !lines[j].isEmpty();
            }
            if (keep) {
                out += lines[i] + "\r\n";
                if (!placed)
                    out += newRules;
                for (const QByteArray& other : others)
                    out += other + "\r\n";
            }
            placed = true;
            i = j - 1;
        } else {
            out += lines[i] + "\r\n";
        }
    }
    if (!placed)
        out += newSection;
    return out;
}

FileResult WriteFilterRules(const QString& folderPath, const QByteArray& fileName,
                            const FilterRules& rules)
{
    if (const QString problem = FilterRulesProblem(rules); !problem.isEmpty())
        return FileResult::Failure(problem);
    return EditItemFile(folderPath, fileName,
                        [&rules](const QByteArray& content, const Files::TextEncoding& text) {
                            return WithFilterRules(content, rules, text);
                        });
}
