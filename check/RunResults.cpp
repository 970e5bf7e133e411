#include "check/RunResults.h"

#include "app/DesktopNotifier.h"
#include "check/ChangeDecision.h"
#include "check/ErrorInfo.h"
#include "check/KeptPages.h"
#include "check/TextDecision.h"
#include "store/FilterRules.h"

using namespace Qt::StringLiterals;

RunResults::RunResults(std::unique_ptr<KeptPages> kept)
    : kept_(kept ? std::move(kept) : std::make_unique<KeptPages>()), bodies_(kept_->Folder())
{
}

RunResults::~RunResults() = default;

void RunResults::Begin(bool compareText, const QString& itemFolder)
{
    compareText_ = compareText;
    itemFolder_ = itemFolder;
    ++runNumber_;
    writeFailures_.clear();
    pages_.clear();
    bodies_.Clear();
    errors_.clear();
    httpFailures_.clear();
}

RunResults::Outcome RunResults::Completed(ItemRecord& item, const Response& response)
{
    const ChangeDecision decision = DecideChange(response.lastModified, response.firstBlock, item);
    // Read afresh for every page: the rules may have been edited since the folder was listed.
    const FilterRules stored = itemFolder_.isEmpty() || item.FileName.isEmpty()
                                   ? FilterRules{}
                                   : ReadFilterRules(itemFolder_, item.FileName);
    // Its kept page is the baseline of the text decision, never evicted for room.
    if (stored.present)
        kept_->MarkBaseline(item.URL);
    if (compareText_ || stored.present)
        return completedByText(item, response, decision, {stored.select, stored.ignore});
    if (!decision.changed) {
        // Something to compare the first change with; an accepted page stays as it is.
        kept_->KeepIfMissing({item.URL, response.contentType, response.body});
        return Outcome::Unchanged;
    }
    list(item, response, decision.newInfo);
    item.Info = decision.newInfo;
    return Outcome::Changed;
}

void RunResults::list(const ItemRecord& item, const Response& response, const QString& newInfo)
{
    pages_.append(PageSample{.title = item.Title,
                             .url = item.URL,
                             .oldInfo = item.Info,
                             .newInfo = newInfo,
                             .err = item.Err,
                             .check2Byte = item.Check2Byte,
                             .headerPath = !response.lastModified.isEmpty(),
                             .status = response.status,
                             .contentType = response.contentType,
                             .body = {},
                             .stored = bodies_.Put(response.body),
                             .keptFile = {},
                             .keptRead = false,
                             .byText = false,
                             .rules = {},
                             .digest = {},
                             .rulesKey = {}});
}

RunResults::Outcome RunResults::completedByText(ItemRecord& item, const Response& response,
                                                const ChangeDecision& decision,
                                                const PageRules& rules)
{
    TextInput in{.status = response.status,
                 .reason = {},
                 .body = response.body,
                 .contentType = response.contentType,
                 .kept = std::nullopt,
                 .keptDigest = {},
                 .rules = rules,
                 .storedInfo = item.Info,
                 .partDecision = decision};
    // An error answer is never kept, so its page need not be read.
    QByteArray keptFile;
    const QByteArray key = RulesKey(rules);
    if (response.status < 400) {
        keptFile = kept_->ReadFile(item.URL);
        in.kept = KeptPages::DecodeFor(item.URL, keptFile);
        if (in.kept && in.kept->rulesKey == key)
            in.keptDigest = in.kept->digest;
    }
    const TextVerdict verdict = DecideByText(in);
    switch (verdict.outcome) {
    case TextOutcome::HttpFailure:
        errors_.append({item.Title, item.URL, HttpFailureText(response.status)});
        httpFailures_.append(item.Title);
        item.Info = verdict.newInfo;
        return Outcome::Failed;
    case TextOutcome::Unchanged:
    case TextOutcome::Recovered:
        // The kept page's digest under these rules, so that the next run need not parse it.
        if (in.keptDigest.isEmpty())
            kept_->Accept({in.kept->url, in.kept->contentType, in.kept->body, verdict.digest, key});
        if (verdict.outcome == TextOutcome::Unchanged)
            return Outcome::Unchanged;
        item.Info = verdict.newInfo;
        return Outcome::Recovered;
    case TextOutcome::NoBaseline:
        // A listed page is kept when it is accepted; until then it stays listed run by run.
        if (!verdict.listed) {
            kept_->KeepIfMissing(
                {item.URL, response.contentType, response.body, verdict.digest, key});
            return Outcome::Unchanged;
        }
        break;
    case TextOutcome::Changed:
        break;
    }
    list(item, response, verdict.newInfo);
    PageSample& page = pages_.last();
    page.keptFile = in.kept ? keptFile : QByteArray();
    page.keptRead = true;
    page.byText = true;
    page.rules = rules;
    page.digest = verdict.digest;
    page.rulesKey = key;
    item.Info = verdict.newInfo;
    return Outcome::Changed;
}

void RunResults::Failed(ItemRecord& item, const QString& why)
{
    errors_.append({item.Title, item.URL, why});
    item.Info = ErrorInfo(why);
}

void RunResults::WriteFailed(const QStringList& lines)
{
    writeFailures_ += lines;
}

QStringList RunResults::TakeWriteFailures()
{
    return std::exchange(writeFailures_, {});
}

void RunResults::readKept(PageSample& page)
{
    if (!page.keptRead) {
        page.keptFile = kept_->ReadFile(page.url);
        page.keptRead = true;
    }
}

std::optional<QByteArray> RunResults::body(const PageSample& page)
{
    return bodies_.Get(page.stored);
}

QList<DiffLine> RunResults::Report(qsizetype line)
{
    if (line < 0 || line >= pages_.size())
        return ErrorReport(errors_);
    PageSample& page = pages_[line];
    readKept(page);
    PageSample shown = page;
    shown.body = body(page).value_or(QByteArray());
    return ChangeReport(shown, KeptPages::DecodeFor(page.url, page.keptFile));
}

QString RunResults::ToolTip(qsizetype line) const
{
    if (line < 0 || line >= pages_.size())
        return QString();
    return pages_.at(line).url + u'\n' + InfoChange(pages_.at(line));
}

void RunResults::Accept(qsizetype line)
{
    if (line < 0 || line >= pages_.size())
        return;
    PageSample& page = pages_[line];
    readKept(page);
    // A body the temporary file lost is not kept: the page kept before stays.
    if (const std::optional<QByteArray> bytes = body(page))
        kept_->Accept({page.url, page.contentType, *bytes, page.digest, page.rulesKey});
}

void RunResults::Remove(qsizetype line)
{
    if (line >= 0 && line < pages_.size())
        pages_.removeAt(line);
}

std::optional<RunResults::Notice> RunResults::EndNotice(bool hidden)
{
    QStringList titles;
    for (const PageSample& page : pages_)
        titles.append(page.title);
    Notice notice{u"更新されているページがあります。"_s, QString()};
    if (titles.isEmpty()) {
        if (!hidden || errors_.isEmpty())
            return std::nullopt;
        notice.summary = UncheckedHeading();
        for (const RunError& error : errors_)
            titles.append(error.title);
    }
    notice.body = DesktopNotifier::Body(titles);
    // A page that answered with an error is named beside the changes too: its update
    // information now holds the error, and the notification may be all the user sees of it.
    if (!pages_.isEmpty() && !httpFailures_.isEmpty())
        notice.body +=
            u"\n\n"_s + UncheckedHeading() + u'\n' + DesktopNotifier::Body(httpFailures_);
    if (hidden && !writeFailures_.isEmpty())
        notice.body +=
            u"\n\n"_s + NotSavedHeading() + u'\n' + DesktopNotifier::Body(TakeWriteFailures());
    return notice;
}

QString RunResults::UncheckedHeading()
{
    return u"確認できなかったページがあります。"_s;
}

QString RunResults::NotSavedHeading()
{
    return u"次のアイテムを保存できませんでした。"_s;
}
