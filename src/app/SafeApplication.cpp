#include "app/SafeApplication.h"

#include <H5Cpp.h>

#include <QDebug>
#include <QtGlobal>

#include <exception>

namespace Quorvex3 {

SafeApplication::SafeApplication(int& argc, char** argv) : QApplication(argc, argv) {}

SafeApplication::~SafeApplication() = default;

bool SafeApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const H5::Exception& e) {
        // H5::Exception does not derive from std::exception, so it needs its
        // own handler, and its function name tells which HDF5 step failed.
        const QString message = QString::fromUtf8(e.getFuncName().c_str()) + QStringLiteral(": ") +
                                QString::fromUtf8(e.getDetailMsg().c_str());
        qCritical().noquote() << "Unhandled HDF5 exception:" << message;
        emit unhandledException(QStringLiteral("File / Data Error"), message);
    } catch (const std::exception& e) {
        const QString message = QString::fromUtf8(e.what());
        qCritical().noquote() << "Unhandled exception:" << message;
        emit unhandledException(QStringLiteral("Unexpected Error"), message);
    } catch (...) {
        qCritical("Unhandled non-standard exception");
        emit unhandledException(QStringLiteral("Unexpected Error"),
                                QStringLiteral("An unknown error occurred."));
    }
    return false;
}

} // namespace Quorvex3
