#pragma once
// The bodies of the pages a run lists, kept out of memory: each is appended to one unnamed
// temporary file beside the kept pages and read back when its line is shown or accepted, so
// that thousands of changed pages cost the run no more memory than a few. Where no such file
// can be made or written, a body stays in memory instead.
#include <QByteArray>
#include <QString>
#include <QTemporaryFile>
#include <memory>
#include <optional>

// Where one body is: a span of the file, or the bytes themselves.
struct ListedBody {
    qint64 offset = -1; // -1: held
    qint64 size = 0;
    QByteArray held;
};

class ListedBodies final
{
public:
    // folder: where the file goes (made when missing); empty: the system's temporary folder.
    explicit ListedBodies(const QString& folder);
    ~ListedBodies();
    ListedBodies(const ListedBodies&) = delete;
    ListedBodies& operator=(const ListedBodies&) = delete;

    ListedBody Put(const QByteArray& body);
    // The body as put; nullopt when the file could not give it back.
    std::optional<QByteArray> Get(const ListedBody& body);
    // Every body put so far is forgotten (a new run).
    void Clear();

private:
    bool open();

    const QString folder_;
    std::unique_ptr<QTemporaryFile> file_;
    bool failed_ = false; // no file could be made: bodies stay in memory
    qint64 end_ = 0;
};
