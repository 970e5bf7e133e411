#include "check/RunResults.h"

#include "app/DesktopNotifier.h"
#include "check/ChangeDecision.h"
#include "check/ErrorInfo.h"
#include "check/KeptPages.h"

using namespace Qt::StringLiterals;

RunResults::RunResults(std::unique_ptr<KeptPages> kept)
    : kept_(kept ? std::move(kept) : std::make_unique<KeptPages>()), bodies_(kept_->Folder())
{
}

RunResults::~RunResults() = default;

void RunResults::Begin()
{
    ++runNumber_;
    writeFailures_.clear();
    pages_.clear();
    bodies_.Clear();
    errors_.clear();
}

RunResults::Outcome RunResults::Completed(ItemRecord& item, const Response& response)
{
    const ChangeDecision decision = DecideChange(response.lastModified, response.firstBlock, item);
    if (!decision.changed) {
        // Something to compare the first change with; an accepted page stays as it is.
        kept_->KeepIfMissing({item.URL, response.contentType, response.body});
        return Outcome::Unchanged;
    }
    pages_.append(PageSample{.title = item.Title,
                             .url = item.URL,
                             .oldInfo = item.Info,
                             .newInfo = decision.newInfo,
                             .err = item.Err,
                             .check2Byte = item.Check2Byte,
                             .headerPath = !response.lastModified.isEmpty(),
                             .status = response.status,
                             .contentType = response.contentType,
                             .body = {},
                             .stored = bodies_.Put(response.body),
                             .keptFile = {},
                             .keptRead = false});
    item.Info = decision.newInfo;
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
        kept_->Accept({page.url, page.contentType, *bytes});
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
        notice.summary = u"確認できなかったページがあります。"_s;
        for (const RunError& error : errors_)
            titles.append(error.title);
    }
    notice.body = DesktopNotifier::Body(titles);
    if (hidden && !writeFailures_.isEmpty())
        notice.body +=
            u"\n\n"_s + NotSavedHeading() + u'\n' + DesktopNotifier::Body(TakeWriteFailures());
    return notice;
}

QString RunResults::NotSavedHeading()
{
    return u"次のアイテムを保存できませんでした。"_s;
}
