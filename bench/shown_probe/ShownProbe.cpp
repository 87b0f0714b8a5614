// Loaded into a program under measurement (through the dynamic loader's
// preload list) to tell the benchmark the moment the program's first window
// is on screen. The benchmark passes the number of a pipe's write end in
// BENCH_SHOWN_FD; one byte is written to it after the first window has been
// exposed and the events queued with the exposure have been handled (so the
// window's first paint is done). Nothing else about the program changes.

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWindow>

#include <cstdlib>
#include <unistd.h>

namespace {

int shownFd = -1;

void ReportShown()
{
    if (shownFd < 0)
        return;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(shownFd, &byte, 1);
    ::close(shownFd);
    shownFd = -1;
}

class ShownWatcher : public QObject {
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (shownFd >= 0 && event->type() == QEvent::Expose) {
            if (auto *window = qobject_cast<QWindow *>(watched)) {
                QPointer<QWindow> guarded(window);
                QTimer::singleShot(0, [guarded] {
                    if (guarded && guarded->isExposed())
                        ReportShown();
                });
            }
        }
        return false;
    }
};

void InstallWatcher()
{
    if (QCoreApplication *application = QCoreApplication::instance())
        application->installEventFilter(new ShownWatcher);
}

__attribute__((constructor)) void SetUpProbe()
{
    const char *fd = std::getenv("BENCH_SHOWN_FD");
    if (!fd)
        return;
    shownFd = std::atoi(fd);
    qAddPreRoutine(InstallWatcher);
}

}  // namespace
