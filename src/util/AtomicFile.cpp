#include "util/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>

#include <cerrno>
#include <cstdio>

namespace Quorvex3 {

namespace {

// Qt keeps the system's reason for a failed write only when not a single
// byte of it reached the file: a write that a full disk or the file-size
// limit cuts short part-way leaves "Unknown error". Writing on from where
// it stopped fails at once and so names the cause. The bytes written here
// go nowhere: the temporary file is discarded.
QString reasonWritingStopped(QSaveFile& file) {
    if (file.bytesToWrite() == 0) {
        const char byte = 0;
        file.write(&byte, 1);
    }
    file.flush();
    return file.errorString();
}

} // namespace

WriteResult writeFileAtomically(const QString& path, const QByteArray& bytes, QString* error) {
    return writeFileAtomically(
        path, [&bytes](QIODevice& device) { return device.write(bytes) == bytes.size(); }, error);
}

WriteResult writeFileAtomically(const QString& path, const std::function<bool(QIODevice&)>& produce,
                                QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return WriteResult::OpenFailed;
    }
    // Flushed here rather than by commit(): Qt 5's commit() does not notice
    // a flush that wrote only part of the buffer (a full disk) and would put
    // the cut-off file in place of the old one.
    if (!produce(file) || !file.flush()) {
        if (error)
            *error = reasonWritingStopped(file);
        file.cancelWriting();
        file.commit(); // refused after cancelWriting(); drops the temporary file
        return WriteResult::WriteFailed;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return WriteResult::WriteFailed;
    }
    return WriteResult::Written;
}

TemporaryTarget::TemporaryTarget(QString targetPath) : m_targetPath(std::move(targetPath)) {}

TemporaryTarget::~TemporaryTarget() {
    discard();
}

bool TemporaryTarget::create(QString* error) {
    discard();
    const QFileInfo target(m_targetPath);
    const QString suffix = target.suffix();
    // Hidden, so a file manager does not offer the half-written file, and
    // ending in the target's own extension.
    const QString stem = target.absolutePath() + QStringLiteral("/.") + target.completeBaseName() +
                         QStringLiteral(".part-");
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString candidate = stem +
                                  QString::number(QRandomGenerator::global()->generate(), 16) +
                                  (suffix.isEmpty() ? QString() : QStringLiteral(".") + suffix);
        QFile file(candidate);
        // NewOnly never reuses a file that exists; the permissions are the
        // usual ones for new files (0666 less the umask).
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            file.close();
            m_temporaryPath = candidate;
            return true;
        }
        if (QFile::exists(candidate))
            continue;
        if (error)
            *error = file.errorString();
        return false;
    }
    if (error)
        *error = QStringLiteral("No free temporary file name in %1").arg(target.absolutePath());
    return false;
}

bool TemporaryTarget::commit(QString* error) {
    if (m_temporaryPath.isEmpty()) {
        if (error)
            *error = QStringLiteral("No temporary file was created");
        return false;
    }
    // rename() replaces an existing target in one step, so a reader sees
    // either the old or the complete new file.
    if (std::rename(QFile::encodeName(m_temporaryPath).constData(),
                    QFile::encodeName(m_targetPath).constData()) != 0) {
        if (error)
            *error = qt_error_string(errno);
        discard();
        return false;
    }
    m_temporaryPath.clear();
    return true;
}

void TemporaryTarget::discard() {
    if (m_temporaryPath.isEmpty())
        return;
    QFile::remove(m_temporaryPath);
    m_temporaryPath.clear();
}

} // namespace Quorvex3
