#pragma once
// The rules of one item for deciding by a page's text, and the text they leave: only what
// Select matches, Ignore matches cut out, blanks collapsed, empty lines dropped.
#include "check/CssSelector.h"
#include "check/IgnorePattern.h"
#include "check/PageText.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

struct PageRules {
    QString select; // empty: the whole page
    QStringList ignore;
    bool isEmpty() const { return select.isEmpty() && ignore.isEmpty(); }
    bool operator==(const PageRules&) const = default;
};

// Why the editor refuses a rule; empty when it is valid.
QString SelectorError(const QString& selector);
QString PatternError(const QString& pattern);

struct RuleProblem {
    enum Kind { InvalidSelector, InvalidPattern, GaveUp };
    Kind kind = InvalidPattern;
    QString rule;
    QString reason; // empty for GaveUp
    bool operator==(const RuleProblem&) const = default;
};

struct FilteredText {
    QStringList lines;
    bool cut = false;            // only the first PageText::CutBytes bytes, less the cut line
    bool binary = false;         // no text: its digest is of the bytes
    QList<RuleProblem> problems; // the invalid rules first, then the patterns given up
};

class PageFilter final
{
public:
    // The time all Ignore patterns together may take on one page.
    static constexpr int IgnoreBudgetMs = 40;

    // Invalid rules are left out (and named in every FilteredText).
    explicit PageFilter(const PageRules& rules);
    FilteredText Apply(QByteArrayView body, QByteArrayView contentType) const;
    const QList<RuleProblem>& Invalid() const { return invalid_; }

private:
    std::optional<CssSelector> select_;
    QList<IgnorePattern> ignore_;
    QList<RuleProblem> invalid_;
};

// What is compared and stored with a kept page: SHA-256 of the lines (of the bytes for binary).
QByteArray TextDigest(const FilteredText& text, QByteArrayView body = {});

// Names rules and the extraction they work on, so that a digest stored under other rules (or an
// older extraction) is known to be stale.
QByteArray RulesKey(const PageRules& rules);
