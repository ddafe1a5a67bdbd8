#pragma once
// A file written beside its place and renamed over it only when every byte is
// on the disk: a full disk, a failing device or a cancel leaves the old file,
// if any, exactly as it was. Every file the program writes whole (exports,
// backups, documents, its own caches when compacted) goes through this.
//
//     TSafeFile out(fileName);      // throws EFileError
//     out.write(bytes);             // as often as needed; throws EFileError
//     out.commit();                 // throws EFileError; the file is in place
//
// Destroyed without commit(), the new bytes are thrown away. The file is the
// user's alone (mode 0600): it holds customers' names and addresses. A name
// that is a folder, a FIFO or a device is refused: only a regular file is
// replaced.

#include <QByteArray>
#include <QByteArrayView>
#include <QSaveFile>
#include <QString>

namespace tessolo {

// Owner-only modes for everything the program writes: 0600 for a file, 0700
// for a folder. Best effort (a file system without modes keeps its own).
void makeFilePrivate(const QString& path);
void makeFolderPrivate(const QString& path);
// Creates `path` and its parents as needed; the last folder is made private.
bool makePrivateFolder(const QString& path);

// Refuses (EFileError, in a sentence) a path that exists but is not a regular
// file, looked at without opening it, so a FIFO cannot block and a device
// cannot be read or written. A path that does not exist passes.
void requireRegularFile(const QString& path);

class TSafeFile {
public:
    explicit TSafeFile(const QString& fileName);
    ~TSafeFile();
    TSafeFile(const TSafeFile&) = delete;
    TSafeFile& operator=(const TSafeFile&) = delete;

    void write(QByteArrayView bytes);
    void commit();
    // Drops what was written; the old file stays. Implied by the destructor.
    void cancel();

    const QString& fileName() const { return m_name; }

    // The message a failed write of `fileName` is reported with.
    static QString failureMessage(const QString& fileName, const QString& reason);

private:
    void flushBuffer();
    [[noreturn]] void fail(const QString& reason);

    QString m_name;
    QSaveFile m_file;
    QByteArray m_buffer;
    bool m_done = false;
};

} // namespace tessolo
