#pragma once

#include <QApplication>
#include <QString>

namespace Quorvex3 {

/// The program's application object: an exception that escapes the delivery
/// of an event (a slot, an event handler, a timer action) is caught here,
/// logged at critical level and reported through unhandledException instead
/// of ending the process. The event counts as not handled; later events are
/// delivered as usual.
class SafeApplication : public QApplication {
    Q_OBJECT

public:
    /// Constructs the QApplication with the process's arguments. `argc` must
    /// outlive the object (Qt keeps a reference to it).
    SafeApplication(int& argc, char** argv);
    ~SafeApplication() override;

    /// QApplication::notify guarded against escaping exceptions; false when
    /// one was caught.
    bool notify(QObject* receiver, QEvent* event) override;

signals:
    /// Emitted once per caught exception, before notify returns. Connect it
    /// queued, so the receiver runs after the failing delivery was abandoned.
    void unhandledException(QString title, QString message);
};

} // namespace Quorvex3
