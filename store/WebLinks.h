#pragma once
// Web links that a drop or the clipboard carries, and the item titles they are stored under.
#include "store/ItemFolder.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QUrl>

class QMimeData;

struct WebLink {
    QString URL;   // as the data gave it
    QString Title; // the title the data carries, else host and path; a valid item file name
};

struct RefusedLink {
    QString Text;   // the link, or the path of the link file, as the data gave it
    QString Reason; // why, for the user
};

struct WebLinks {
    QList<WebLink> Links;
    QList<RefusedLink> Refused;
};

// True when data has a form LinksIn reads (a drag onto the list is accepted for it).
bool MayCarryLinks(const QMimeData* data);

// The http and https links of data, in order, from the first of text/x-moz-url, _NETSCAPE_URL,
// text/uri-list and text/plain (one URL a line) that it has, and from the freedesktop link files
// (*.desktop, Type=Link) among the local files of its uri-list. Other local files are no links
// (the shortcut import takes them); plain-text lines that are no URL are passed over silently.
WebLinks LinksIn(const QMimeData* data);

// Reads a freedesktop link file (Type=Link, URL=, Name= as title) into links or refused.
void ReadLinkFile(const QString& path, WebLinks& into);

// title made an item file name that works here and on Windows (the rules of TitleProblem),
// leaving room for suffix: characters that cannot stand replaced by their full-width forms or
// a blank, cut on a character boundary. Empty when nothing of it can stand.
QString TitleAsFileName(const QString& title, const QString& suffix = {});

// "example.com news" for http://example.com/news: host and path, the slashes as blanks.
QString DefaultTitle(const QUrl& url);

struct LinkPlacement {
    QString Title;        // the title to write the link under
    bool Present = false; // an item of that title already holds the link's URL
    QByteArray FileName;  // the item's file: as listed when there is one, else the name to create
};

// Places the links of one drop or paste in folderPath against one listing of it, so that many
// links of one title cost no listing and no read each.
class LinkPlacer final
{
public:
    explicit LinkPlacer(const QString& folderPath);
    LinkPlacer(const LinkPlacer&) = delete;
    LinkPlacer& operator=(const LinkPlacer&) = delete;

    // Where link goes: its title; when an item of that title holds another URL, that title with
    // " (2)", " (3)" ...; the first of these whose item holds the link's URL is Present.
    LinkPlacement Place(const WebLink& link);
    // The new item of placement now holds link's URL.
    void Written(const LinkPlacement& placement, const WebLink& link);

private:
    // The titles tried for one title so far, all taken: n - 1 gives the title with " (n)".
    struct Tried {
        QStringList titles;
        QList<QByteArray> names;
        QHash<QUrl, qsizetype> byUrl; // the first of them holding a URL
    };
    QUrl storedUrl(const QByteArray& name);

    QString folderPath;
    ItemFileIndex index;
    QHash<QByteArray, QUrl> urls; // of the files read or written, comparable
    QHash<QString, Tried> tried;
};
