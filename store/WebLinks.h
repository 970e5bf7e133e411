#pragma once
// Web links that a drop or the clipboard carries, and the item titles they are stored under.
#include <QList>
#include <QString>

class QMimeData;
class QUrl;

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
};

// Where link goes in folderPath: its title; when an item of that title holds another URL, that
// title with " (2)", " (3)" ...; the first of these whose item holds the link's URL is Present.
LinkPlacement PlaceLink(const QString& folderPath, const WebLink& link);
