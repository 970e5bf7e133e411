#pragma once
// What the change view shows for one listed page: its address, the stored and the new update
// information, the HTTP status when it is not 200, and its text against the kept page.
#include "check/KeptPages.h"
#include "check/LineDiff.h"
#include "check/ListedBodies.h"
#include "check/PageFilter.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

// One page of a run as the decision saw it. The body is held only for the pages listed, and
// there out of memory: RunResults keeps it in stored and fills body for the view.
struct PageSample {
    QString title;
    QString url;
    QString oldInfo;
    QString newInfo;
    qint16 err = 0;
    qint16 check2Byte = 0;
    bool headerPath = false; // decided by Last-modified
    int status = 0;
    QByteArray contentType;
    QByteArray body;
    ListedBody stored;
    // The kept page as it was before this run's Save replaced it, once read.
    QByteArray keptFile;
    bool keptRead = false;
    // Decided by its text: the view compares the text the rules leave, and the digest goes
    // with the page when it is accepted.
    bool byText = false;
    PageRules rules;
    QByteArray digest;
    QByteArray rulesKey;
};

// "Last-modified: old → new", or the measure with its tolerance ("文字数 1234 → 1301 (許容誤差
// 5)"); after a failed check "前回: エラー:... → " and what the new information is.
QString InfoChange(const PageSample& page);

// The lines of the view; kept is the accepted page (nullopt when none or unreadable).
QList<DiffLine> ChangeReport(const PageSample& page, const std::optional<KeptPage>& kept,
                             int budgetMs = LineDiff::DefaultBudgetMs);

// The view with no line selected: the pages of the run that ended in error.
struct RunError {
    QString title;
    QString url;
    QString error;
};
QList<DiffLine> ErrorReport(const QList<RunError>& errors);
