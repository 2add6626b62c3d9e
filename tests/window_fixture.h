#pragma once
// What the window tests share: a window that records what it asks of the engine and
// what it shows, a closer for modal boxes, and a throw-away program layout to put
// forms in.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "main_window.h"

class RecordingWindow : public zelkora::MainWindow {
public:
    using MainWindow::MainWindow;

    std::function<std::vector<std::u32string>(const zelkora::GenerationRequest&)> engine;
    std::vector<zelkora::GenerationRequest> requests;
    std::vector<std::pair<QString, int>> statuses;

    template <typename TWidget>
    TWidget* widget(const char* name) const { return findChild<TWidget*>(QLatin1String(name)); }

protected:
    std::vector<std::u32string> _generate(const zelkora::GenerationRequest& request) override
    {
        requests.push_back(request);
        return engine ? engine(request) : MainWindow::_generate(request);
    }

    void _show_status(const QString& text, int timeout_ms) override
    {
        statuses.emplace_back(text, timeout_ms);
        MainWindow::_show_status(text, timeout_ms);
    }
};

// Closes the message boxes the code under test opens, and keeps their title and text.
class ModalBoxCloser {
public:
    ModalBoxCloser()
    {
        QObject::connect(&_timer, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                seen.emplace_back(box->windowTitle(), box->text());
                box->accept();
            }
        });
        _timer.start(5);
    }

    std::vector<std::pair<QString, QString>> seen;

private:
    QTimer _timer;
};

// A packaged-program layout in a temporary directory: an executable file in E and the
// resource bases E and E/src.
class ProgramLayout {
public:
    ProgramLayout()
    {
        QDir(_dir.path()).mkpath(QStringLiteral("E/zelkora"));
        QFile executable(path("E/zelkora-desk"));
        executable.open(QIODevice::WriteOnly);
    }

    QString path(const QString& relative) const { return _dir.filePath(relative); }

    void write(const QString& relative, const QByteArray& content) const
    {
        QDir(_dir.path()).mkpath(QFileInfo(path(relative)).path());
        QFile file(path(relative));
        file.open(QIODevice::WriteOnly);
        file.write(content);
    }

    zelkora::RunContext context() const
    {
        return {.packaged = true,
                .executable = path("E/zelkora-desk").toStdString(),
                .unit_file = path("E/zelkora/paths").toStdString(),
                .bundle_dir = std::nullopt};
    }

private:
    QTemporaryDir _dir;
};

// Points the settings store at a fresh directory, so no test sees or touches the real
// one, and no test sees another's values.
class IsolatedSettings {
public:
    IsolatedSettings() { point_at(_dir.path()); }
    ~IsolatedSettings() { point_at(QString()); }

    QString file() const { return _dir.filePath(QStringLiteral("orvanel-works/zelkora-desk.conf")); }
    QString dir() const { return _dir.path(); }

    static void point_at(const QString& dir)
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir);
    }

private:
    QTemporaryDir _dir;
};
