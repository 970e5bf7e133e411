#pragma once
// Deciding a page by its text against the page the user last accepted, instead of by the
// Last-modified header or the size measure alone.
#include "check/ChangeDecision.h"
#include "check/KeptPages.h"
#include "check/PageFilter.h"

#include <QByteArray>
#include <QString>
#include <optional>

struct TextInput {
    int status = 0;  // HTTP status of the response
    QString reason;  // its reason phrase when the transfer gave one
    QByteArray body; // at most KeptPages::MaxBodyBytes
    QByteArray contentType;
    std::optional<KeptPage> kept; // the accepted page, nullopt when none
    QByteArray keptDigest; // TextDigest of kept under these rules when stored; empty: computed
    PageRules rules;
    QString storedInfo;          // the item's Info
    ChangeDecision partDecision; // DecideChange of this response
};

enum class TextOutcome {
    Changed,
    Unchanged,
    NoBaseline,  // nothing to compare with: decided by partDecision, and the page is kept
    HttpFailure, // status 400 or above: an error, never accepted
    Recovered,   // the text is unchanged and Info held an error: newInfo is written once
};

struct TextVerdict {
    TextOutcome outcome = TextOutcome::Unchanged;
    bool listed = false; // the page joins the results list
    QString newInfo;     // the Info to hold (the error text of an HTTP failure)
    QByteArray digest;   // of the new page under the rules; empty for an HTTP failure
    // For the view.
    QList<RuleProblem> problems;
    bool cut = false;        // only the first 65,535 bytes were compared
    bool headerOnly = false; // the text is the same, Last-modified or the measure is not
};

TextVerdict DecideByText(const TextInput& in);

// "HTTP 404 Not Found": the reason given, else the usual one for the status.
QString HttpFailureText(int status, const QString& reason = {});
