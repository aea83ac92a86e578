#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

class QIODevice;

namespace Quorvex3 {

/// Outcome of an atomic file write.
enum class WriteResult {
    Written,     ///< the file at the path holds exactly the new bytes
    OpenFailed,  ///< nothing could be created beside the path; nothing changed
    WriteFailed, ///< writing failed part-way; the old file (if any) is untouched
};

/// Replaces the file at `path` with `bytes` in one step: the bytes go to a
/// temporary file beside it, which takes the file's place only when every
/// byte reached the disk. On failure the old file stays as it was and no
/// temporary file is left. `error`, when given, receives the system's reason.
WriteResult writeFileAtomically(const QString& path, const QByteArray& bytes,
                                QString* error = nullptr);

/// The same for files too large to build in memory: `produce` writes the
/// content to the device it is given, in pieces, and returns false as soon
/// as a write fails (it should check every QIODevice::write). A false
/// return, a short write or a failed flush discards everything.
WriteResult writeFileAtomically(const QString& path, const std::function<bool(QIODevice&)>& produce,
                                QString* error = nullptr);

/// A temporary file beside a target path, for writers that create their
/// file themselves by name (HDF5, video encoders) and so cannot write
/// through QSaveFile.
///
/// create() makes an empty, uniquely named hidden file in the target's
/// folder whose name ends in the target's extension (encoders choose their
/// container by it); the writer then writes to temporaryPath(). commit()
/// renames it over the target in one step; an object destroyed without a
/// successful commit() removes the temporary file, so a failed writer never
/// leaves a half-written file, neither under the target's name nor beside
/// it. GUI thread or any single thread; not shared.
class TemporaryTarget {
public:
    explicit TemporaryTarget(QString targetPath);
    ~TemporaryTarget();
    TemporaryTarget(const TemporaryTarget&) = delete;
    TemporaryTarget& operator=(const TemporaryTarget&) = delete;

    /// Creates the temporary file. False (with the reason in `error`) when
    /// the folder is missing or not writable.
    bool create(QString* error = nullptr);
    /// Empty until create() succeeded.
    const QString& temporaryPath() const { return m_temporaryPath; }
    const QString& targetPath() const { return m_targetPath; }

    /// Moves the temporary file over the target (replacing an existing
    /// file). False, with the reason, when the rename fails; the temporary
    /// file is then removed and the target is untouched.
    bool commit(QString* error = nullptr);
    /// Removes the temporary file now (also done by the destructor).
    void discard();

private:
    QString m_targetPath;
    QString m_temporaryPath;
};

} // namespace Quorvex3
