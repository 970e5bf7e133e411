#include "check/LineDiff.h"

#include <QElapsedTimer>
#include <QHash>

#include <algorithm>
#include <dtl/dtl.hpp>
#include <vector>

using namespace Qt::StringLiterals;

namespace
{

// Counts its work and, once past the budget, calls everything equal: the search then runs
// straight to its end and its result is thrown away. (Throwing from here would leak dtl's
// own buffer.)
class BudgetCompare final : public dtl::Compare<int>
{
public:
    BudgetCompare() = default;
    BudgetCompare(qint64 budgetMs, bool* over) : budgetMs_(budgetMs), over_(over)
    {
        timer_.start();
    }
    bool impl(const int& a, const int& b) const override
    {
        if (*over_)
            return true;
        if ((++calls_ & 0x3fff) == 0 && timer_.elapsed() > budgetMs_)
            *over_ = true;
        // Each mismatch costs the search a path point: bounds its memory too.
        if (a != b && ++mismatches_ > MaxMismatches)
            *over_ = true;
        return a == b;
    }

private:
    static constexpr quint64 MaxMismatches = 1'000'000;
    QElapsedTimer timer_;
    qint64 budgetMs_ = 0;
    bool* over_ = nullptr;
    mutable quint64 calls_ = 0;
    mutable quint64 mismatches_ = 0;
};

struct Edit {
    DiffLine::Kind kind;
    qsizetype oldAt; // index in the old lines (Context, Removed)
    qsizetype newAt; // index in the new lines (Context, Added)
};

} // namespace

LineDiff LineDiff::Compare(const QStringList& oldLines, const QStringList& newLines, int budgetMs)
{
    LineDiff result;
    // The common start and end are left to this loop, so a small change in a long page costs
    // the search only its middle.
    qsizetype head = 0;
    while (head < oldLines.size() && head < newLines.size() &&
           oldLines.at(head) == newLines.at(head))
        ++head;
    qsizetype tail = 0;
    while (tail < oldLines.size() - head && tail < newLines.size() - head &&
           oldLines.at(oldLines.size() - 1 - tail) == newLines.at(newLines.size() - 1 - tail))
        ++tail;
    if (head == oldLines.size() && head == newLines.size())
        return result;

    QHash<QString, int> ids;
    auto idsOf = [&](const QStringList& lines) {
        std::vector<int> out;
        out.reserve(size_t(lines.size() - head - tail));
        for (qsizetype i = head; i < lines.size() - tail; ++i) {
            auto it = ids.constFind(lines.at(i));
            if (it == ids.constEnd())
                it = ids.insert(lines.at(i), int(ids.size()));
            out.push_back(it.value());
        }
        return out;
    };
    const std::vector<int> a = idsOf(oldLines);
    const std::vector<int> b = idsOf(newLines);

    std::vector<Edit> edits;
    for (qsizetype i = 0; i < head; ++i)
        edits.push_back({DiffLine::Context, i, i});
    bool over = false;
    dtl::Diff<int, std::vector<int>, BudgetCompare> diff(a, b, BudgetCompare(budgetMs, &over));
    diff.compose();
    if (over) {
        result.gaveUp = true;
        return result;
    }
    qsizetype oldAt = head;
    qsizetype newAt = head;
    for (const auto& [element, info] : diff.getSes().getSequence()) {
        switch (info.type) {
        case dtl::SES_DELETE:
            edits.push_back({DiffLine::Removed, oldAt++, -1});
            break;
        case dtl::SES_ADD:
            edits.push_back({DiffLine::Added, -1, newAt++});
            break;
        default:
            edits.push_back({DiffLine::Context, oldAt++, newAt++});
            break;
        }
    }
    for (qsizetype i = 0; i < tail; ++i)
        edits.push_back({DiffLine::Context, oldAt++, newAt++});
    // dtl may give a run of changes as added before removed; read as diff -u reads: old first.
    for (auto it = edits.begin(); it != edits.end();) {
        auto end = std::find_if(it, edits.end(),
                                [](const Edit& e) { return e.kind == DiffLine::Context; });
        std::stable_partition(it, end, [](const Edit& e) { return e.kind == DiffLine::Removed; });
        it = end == edits.end() ? end : end + 1;
    }

    // Each unchanged line within ContextLines of a change is shown; a run of hidden ones
    // between shown lines becomes one gap mark.
    const qsizetype n = qsizetype(edits.size());
    std::vector<bool> shown(size_t(n), false);
    for (qsizetype i = 0; i < n; ++i) {
        if (edits[size_t(i)].kind == DiffLine::Context)
            continue;
        for (qsizetype j = std::max<qsizetype>(0, i - ContextLines);
             j <= std::min<qsizetype>(n - 1, i + ContextLines); ++j)
            shown[size_t(j)] = true;
    }
    bool hidden = false;
    for (qsizetype i = 0; i < n; ++i) {
        if (!shown[size_t(i)]) {
            hidden = true;
            continue;
        }
        if (hidden && !result.lines.isEmpty())
            result.lines.append({DiffLine::Gap, u"…"_s});
        hidden = false;
        const Edit& e = edits[size_t(i)];
        switch (e.kind) {
        case DiffLine::Removed:
            result.lines.append({e.kind, u"-"_s + oldLines.at(e.oldAt)});
            break;
        case DiffLine::Added:
            result.lines.append({e.kind, u"+"_s + newLines.at(e.newAt)});
            break;
        default:
            result.lines.append({DiffLine::Context, u" "_s + newLines.at(e.newAt)});
            break;
        }
    }
    return result;
}
