#pragma once
// What a check run found, kept apart from the window that shows it: the pages listed as
// changed (line i of the result list is page i), the pages that ended in error, the writes
// that failed, the run's number, and the store of the pages the user accepted. The window
// asks it for the change view, the tooltips and the notification at the end of the run.
#include "check/ChangeDecision.h"
#include "check/ChangeReport.h"
#include "check/ListedBodies.h"
#include "store/ItemRecord.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class KeptPages;

class RunResults final
{
public:
    // One completed response as the transfer gave it.
    struct Response {
        QString lastModified; // empty when the server sent none
        QString firstBlock;   // the first body block as text, read only without lastModified
        QByteArray contentType;
        QByteArray body;
        int status = 0;
    };
    // Failed: an HTTP failure decided by text, item.Info holds its error. Recovered: the text
    // is the one kept, and item.Info, an error before, holds the new information. Both are to
    // be written at once; neither is listed.
    enum class Outcome { Unchanged, Changed, Failed, Recovered };
    struct Notice {
        QString summary;
        QString body;
    };

    // Without a store the accepted pages go to KeptPages' default folder.
    explicit RunResults(std::unique_ptr<KeptPages> kept = nullptr);
    ~RunResults();
    RunResults(const RunResults&) = delete;
    RunResults& operator=(const RunResults&) = delete;

    // A new run: what the last one found is forgotten. compareText decides every page by its
    // text; without it only the items whose file in itemFolder has rules are (none when the
    // folder is empty).
    void Begin(bool compareText = false, const QString& itemFolder = {});
    // Counts the runs begun, so that a wait can tell that a new one began meanwhile.
    quint32 RunNumber() const { return runNumber_; }

    // Decides item's response. Changed: item.Info holds the new information and the page is
    // the next line. Unchanged: the page is kept when its URL has no kept page yet.
    Outcome Completed(ItemRecord& item, const Response& response);
    // The transfer of item failed: item.Info becomes the error information.
    void Failed(ItemRecord& item, const QString& why);
    // Lines of the run's writes that failed, to be told at its end.
    void WriteFailed(const QStringList& lines);
    QStringList TakeWriteFailures();

    qsizetype Count() const { return pages_.size(); }
    // The change view of a line; any other line gives the run's errors.
    QList<DiffLine> Report(qsizetype line);
    // A line's address and update information.
    QString ToolTip(qsizetype line) const;
    // The line's page becomes the kept one; its view keeps showing the page it replaces.
    void Accept(qsizetype line);
    // The line leaves the results; the lines after it move up by one.
    void Remove(qsizetype line);
    // The notification at the end of the run, if it has one: the changed pages, or for a
    // hidden run the pages that failed. A hidden run's failed writes are told in it (and
    // taken), since no message box may open.
    std::optional<Notice> EndNotice(bool hidden);

    KeptPages& Kept() { return *kept_; }

    // The heading of every list of failed writes: the box, the pane's notice, the notification.
    static QString NotSavedHeading();
    // The heading of the pages that could not be checked.
    static QString UncheckedHeading();

private:
    void readKept(PageSample& page);
    Outcome completedByText(ItemRecord& item, const Response& response,
                            const ChangeDecision& decision, const PageRules& rules);
    void list(const ItemRecord& item, const Response& response, const QString& newInfo);
    // The listed page's body, read back; nullopt when it is lost.
    std::optional<QByteArray> body(const PageSample& page);

    std::unique_ptr<KeptPages> kept_;
    ListedBodies bodies_;
    QList<PageSample> pages_;
    QList<RunError> errors_;
    QStringList httpFailures_; // titles of pages that answered with an error status
    QStringList writeFailures_;
    quint32 runNumber_ = 0;
    bool compareText_ = false;
    QString itemFolder_;
};
