#pragma once
// A unified line diff for people: removed lines, added lines, a few unchanged lines around
// each change, and a gap mark between changes far apart.
#include <QList>
#include <QString>
#include <QStringList>

struct DiffLine {
    enum Kind { Plain, Context, Removed, Added, Gap };
    Kind kind = Plain;
    QString text; // with its sign: "-", "+", " ", or "…" for a gap
    bool operator==(const DiffLine&) const = default;
};

struct LineDiff {
    QList<DiffLine> lines; // empty when the texts are equal
    bool gaveUp = false;   // the comparison took too long and was stopped

    static constexpr int ContextLines = 3;
    static constexpr int DefaultBudgetMs = 200;

    // Compares old and new text line by line; stops after about budgetMs.
    static LineDiff Compare(const QStringList& oldLines, const QStringList& newLines,
                            int budgetMs = DefaultBudgetMs);
};
