#include "application.h"

#include <QApplication>
#include <QDir>
#include <QIcon>

#include <memory>
#include <utility>

#include "held_qt_messages.h"
#include "main_window.h"

namespace zelkora {

int run_application(int& argc, char** argv, Policy policy, FailedStartReport report) {
    std::unique_ptr<QApplication> created;
    QCoreApplication* application = QCoreApplication::instance();
    if (!application) {
        const HeldQtMessages holding(report);
        created = std::make_unique<QApplication>(argc, argv);
        application = created.get();
    }
    // A desktop shell finds the desktop entry, and with it the icon, by this name (the
    // Wayland app id); under X11 the window carries the icon itself, in every size the
    // executable holds, so each place can take the one that fits.
    QGuiApplication::setDesktopFileName(QStringLiteral(ZELKORA_APP_ID));
    QIcon icon;
    for (const QFileInfo& size : QDir(QStringLiteral(":/icons/window")).entryInfoList(QDir::Files))
        icon.addFile(size.filePath());
    QApplication::setWindowIcon(icon);
    MainWindow window(std::move(policy));
    window.show();
    return application->exec();
}

}  // namespace zelkora
