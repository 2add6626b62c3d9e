#pragma once
// What the runtime's tests, and the window's, share: scratch folders to lay programs out
// in, files written and read whole, the run context of an installed copy, and a capture
// of what a logger is sent.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <log4cplus/appender.h>
#include <log4cplus/spi/loggingevent.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "logging.h"
#include "paths.h"

Q_DECLARE_METATYPE(std::string)

inline void write_file(const std::filesystem::path& path, const std::string& text) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// An installed copy: the executable at <dir>/zelkora-desk, its zelkora/ folder beside it.
inline zelkora::RunContext packaged_at(const std::filesystem::path& exe_dir) {
    zelkora::RunContext context;
    context.packaged = true;
    context.executable = exe_dir / "zelkora-desk";
    context.zelkora_dir = exe_dir / "zelkora";
    return context;
}

// A fresh folder, removed again with everything in it, named by its real path.
class ScratchFolder {
public:
    ScratchFolder() {
        if (!_dir.isValid())
            qFatal("no temporary folder can be made");
        _root = std::filesystem::canonical(_dir.path().toStdString());
    }

    const std::filesystem::path& root() const { return _root; }

    std::filesystem::path path(const QString& relative) const {
        // From UTF-16: a narrow string would pass through the ANSI code page on Windows.
        return relative.isEmpty() ? _root : _root / relative.toStdU16String();
    }

private:
    QTemporaryDir _dir;
    std::filesystem::path _root;
};

// A packaged-program layout in a temporary directory: an executable file in E and the
// resource bases E and E/src.
class ProgramLayout {
public:
    ProgramLayout() {
        QDir(_dir.path()).mkpath(QStringLiteral("E/zelkora"));
        QFile executable(path("E/zelkora-desk"));
        executable.open(QIODevice::WriteOnly);
    }

    QString path(const QString& relative) const { return _dir.filePath(relative); }

    void write(const QString& relative, const QByteArray& content) const {
        QDir(_dir.path()).mkpath(QFileInfo(path(relative)).path());
        QFile file(path(relative));
        file.open(QIODevice::WriteOnly);
        file.write(content);
    }

    zelkora::RunContext context() const { return packaged_at(path("E").toStdU16String()); }

private:
    QTemporaryDir _dir;
};

// Keeps every message a logger is sent, as UTF-8 text.
class CaptureAppender : public log4cplus::Appender {
public:
    ~CaptureAppender() override { destructorImpl(); }
    void close() override {}
    QStringList lines;

protected:
    void append(const log4cplus::spi::InternalLoggingEvent& event) override {
        lines << QString::fromStdString(zelkora::from_log_text(event.getMessage()));
    }
};

// A path as the program shows it in messages and log lines: with the platform's separators.
inline QString shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}
