#pragma once
// One Ignore rule: a regular expression in QRegularExpression's syntax (PCRE2, UTF), whose
// matches are cut out of a page's text. Matching is bounded, so a pattern that backtracks
// without end gives up instead of holding the window.
#include <QDeadlineTimer>
#include <QString>
#include <memory>
#include <optional>

class IgnorePattern final
{
public:
    // One search may take about this many steps of the engine (a few milliseconds).
    static constexpr quint32 MatchLimit = 2'000'000;
    // nullopt when the pattern does not compile; error then holds the reason. A compiled pattern
    // (and its copies, which share the engine's stack) is used by one thread at a time.
    static std::optional<IgnorePattern> Compile(const QString& pattern, QString* error = nullptr);

    // text with every match removed; nullopt when the engine gave up (at a limit, or at the
    // deadline) and nothing is removed.
    std::optional<QString> RemovedFrom(const QString& text,
                                       QDeadlineTimer deadline = QDeadlineTimer::Forever) const;
    QString Pattern() const { return pattern_; }

private:
    struct Code;
    QString pattern_;
    std::shared_ptr<const Code> code_;
};
