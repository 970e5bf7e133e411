#pragma once
// Replaces a file in one step: after a crash or a failed write the path holds the old content
// or the new one, each whole. It is the one road of every file the program writes (item files,
// the settings file, the drop import copy):
//  - the new content goes to a temporary with a short name of its own in the same folder
//    (TemporaryPrefix + 8 random letters: hidden, never ending in ".url" or ".ini", so that
//    nothing lists it as an item or a settings file, and short beside a 255-byte name);
//  - every write, the fsync and the close are checked, then the temporary is renamed over
//    the file;
//  - on any failure the temporary is removed, the file stays as it was, and errorString()
//    gives the system's reason in Japanese words.
// A path that is a symbolic link is written to the file it points to (the link stays a
// link); a Cache file's link is replaced instead. The file keeps its permissions (and its owner,
// where the system allows); a new file gets 0666 less the umask, as any new file does.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <functional>
#include <string_view>
#include <utility>

class AtomicFile final
{
public:
    // A Cache file is not synced to the disk (a crash loses at most a cached copy), and is
    // readable by its owner only whatever the file it replaces allowed.
    enum class Kind { UserData, Cache };

    explicit AtomicFile(const QString& path, Kind kind = Kind::UserData);
    // A path by its bytes, for names that are no text (a Shift-JIS name from Windows).
    explicit AtomicFile(QByteArray nativePath, Kind kind = Kind::UserData);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    bool open();
    qint64 write(QByteArrayView data); // bytes written, -1 on failure (the writing is cancelled)
    // For many files written together (Files::WriteAllAtomically): syncs the whole file system
    // the temporary is on, which makes every file written on it so far durable with one wait
    // for the disk rather than one each. Device() tells file systems apart.
    bool syncFileSystem();
    quint64 Device() const;
    // The new content replaces the file. FileSync::Done: syncFileSystem() of this file system
    // ran after the last write (the file is still synced when its mode had to be restored).
    // FolderSync::Later: the folder is not synced here; whoever commits so must call
    // SyncFolder(TargetFolder()) before telling the file written.
    enum class FolderSync { Now, Later };
    enum class FileSync { Now, Done };
    bool commit(FolderSync folderSync = FolderSync::Now, FileSync fileSync = FileSync::Now);
    void cancelWriting(); // the file stays as it was
    QString errorString() const { return error_; }

    // Asked by commit once the new content is written, synced and closed, just before the
    // rename: a reason (for the user) not to replace the file after all, or empty. The file
    // then stays as it is, refused() is true and errorString() gives that reason.
    using ReplaceCheck = std::function<QString()>;
    void setReplaceCheck(ReplaceCheck check) { check_ = std::move(check); }
    bool refused() const { return refused_; }

    // The start of every temporary's name; only names with it are ever removed as stale.
    static constexpr std::string_view TemporaryPrefix = ".sitevigil-";
    // A temporary whose last write is longer ago than this belongs to a writer that died
    // (a writer writes, syncs and renames within moments).
    static constexpr int StaleSeconds = 60;
    static bool IsTemporaryName(std::string_view name)
    {
        return name.substr(0, TemporaryPrefix.size()) == TemporaryPrefix;
    }
    // Removes the file at nativePath (a name IsTemporaryName accepts) when it is a regular
    // file last written more than StaleSeconds ago. Errors are ignored.
    static void RemoveIfStale(const char* nativePath);
    // Follows the links that path itself is (not those of its folders) to the file a write
    // replaces, which may not exist yet. 0 or the errno of the failure.
    static int ResolveLinks(QByteArray* path);
    // The folder that holds the file a commit replaced, and its sync (errors are ignored: the
    // new content is in place whatever it answers).
    QByteArray TargetFolder() const;
    static void SyncFolder(const QByteArray& folder);

private:
    bool fail(int errnum);
    bool fail(const QString& error);

    Kind kind_;
    QByteArray path_;   // as given, encoded
    QByteArray target_; // the file that is replaced (a link's target), encoded
    QByteArray temp_;   // the temporary while it exists
    int fd_ = -1;
    QString error_;
    ReplaceCheck check_;
    bool refused_ = false;
};
