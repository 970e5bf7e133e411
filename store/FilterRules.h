#pragma once
// Rules of one item for deciding a change by the text of its page. They live in the item file,
// in a section of their own before the private one, so that every rewrite keeps them:
//   [SiteVigil.Filter]
//   Select=<CSS selector: only the text inside the matching elements counts>
//   Ignore=<regular expression: its matches are removed before comparing>   (any number)
#include "app/Files.h"
#include <QByteArray>
#include <QString>
#include <QStringList>

struct FilterRules {
    QString select;
    QStringList ignore;
    bool present = false; // the file has the section, whether or not it holds a rule

    bool isEmpty() const;
};

// The rules in an item file's bytes, read as ReadItemFile reads the file (a UTF-8 mark makes it
// UTF-8, UTF-16 gives no rules). Keys match without regard to case; a second Select wins; an
// empty value is no rule.
FilterRules ReadFilterRules(const QByteArray& bytes);
// The rules of the listed file fileName of folderPath; none when it cannot be read.
FilterRules ReadFilterRules(const QString& folderPath, const QByteArray& fileName);

// Why rules cannot be stored as they are (a character CP932 does not give back exactly, a line
// break), for the user; empty when they can.
QString FilterRulesProblem(const FilterRules& rules);

// An Ignore rule matching text as it stands: blanks collapsed as the compared text has them, the
// ASCII characters a pattern gives a meaning escaped, the rest (Japanese too) left readable.
// Empty, with why for the user, when text is blank, spans lines or holds a character CP932
// does not give back.
QString LiteralIgnorePattern(const QString& text, QString* why = nullptr);

// content (an item file's bytes without byte-order mark, in text's encoding) with rules as its
// Filter section: an existing one replaced in place (its other lines kept), else a new one put
// before the private section, or at the end when there is none. Empty rules remove it. Every
// other line is kept byte for byte, ended by CR LF as the item file writer ends it.
QByteArray WithFilterRules(const QByteArray& content, const FilterRules& rules,
                           const Files::TextEncoding& text = {});

// Stores rules in the listed file fileName of folderPath on the item file's one road; refused
// with FilterRulesProblem's reason.
FileResult WriteFilterRules(const QString& folderPath, const QByteArray& fileName,
                            const FilterRules& rules);
