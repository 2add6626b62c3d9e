#pragma once
// What the window tests share: a window that records what it asks of the engine and
// what it shows, and whose clipboard may refuse; a closer for modal boxes, and a settings store of their own; besides,
// from the runtime's tests, a throw-away program layout to put forms in.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "main_window.h"
#include "runtime_fixture.h"
#include "windows_api.h"

class RecordingWindow : public zelkora::MainWindow {
public:
    using MainWindow::_use_fixed_pitch_font;
    using MainWindow::MainWindow;
    // Without a policy, unless a test gives one.
    RecordingWindow() : MainWindow(zelkora::Policy{}) {}
    explicit RecordingWindow(const zelkora::RunContext& context) : MainWindow(context, zelkora::Policy{}) {}

    std::function<zelkora::PasswordBatch(const zelkora::GenerationRequest&)> engine;
    std::vector<zelkora::GenerationRequest> requests;
    std::vector<std::pair<QString, int>> statuses;
    // Stands for the system clipboard while set, so that it can refuse.
    std::function<void(QMimeData*)> clipboard;

    template <typename TWidget>
    TWidget* widget(const char* name) const {
        return findChild<TWidget*>(QLatin1String(name));
    }

protected:
    zelkora::PasswordBatch _generate(const zelkora::GenerationRequest& request) override {
        requests.push_back(request);
        return engine ? engine(request) : MainWindow::_generate(request);
    }

    void _show_status(const QString& text, int timeout_ms, StatusKind kind) override {
        statuses.emplace_back(text, timeout_ms);
        MainWindow::_show_status(text, timeout_ms, kind);
    }

    void _put_on_clipboard(QMimeData* data) override {
        clipboard ? clipboard(data) : MainWindow::_put_on_clipboard(data);
    }
};

// Closes the message boxes the code under test opens, and keeps their title and text.
class ModalBoxCloser {
public:
    ModalBoxCloser() {
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

#if defined(Q_OS_WIN)
// Points the settings store at a fresh place, so no test sees or touches the real one,
// and no test sees another's values. On Windows the store is the registry, which
// QSettings::setPath does not move: HKEY_CURRENT_USER itself is redirected, for this
// process, to a throw-away key.
class IsolatedSettings {
public:
    IsolatedSettings() {
        static int serial = 0;
        _name = QStringLiteral("Software\\zelkora-desk-tests\\%1-%2")
                    .arg(QCoreApplication::applicationPid())
                    .arg(++serial)
                    .toStdWString();
        HKEY real_user = nullptr;
        RegOpenCurrentUser(KEY_ALL_ACCESS, &real_user);
        _real_user = real_user;
        if (RegCreateKeyExW(_real_user, _name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &_key, nullptr) !=
                ERROR_SUCCESS ||
            RegOverridePredefKey(HKEY_CURRENT_USER, _key) != ERROR_SUCCESS)
            qFatal("cannot redirect HKEY_CURRENT_USER to a test key");
    }
    ~IsolatedSettings() {
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        RegCloseKey(_key);
        RegDeleteTreeW(_real_user, _name.c_str());
        RegCloseKey(_real_user);
    }
    IsolatedSettings(const IsolatedSettings&) = delete;
    IsolatedSettings& operator=(const IsolatedSettings&) = delete;

    // Whether the program has stored anything yet.
    bool holds_anything() const {
        HKEY program = nullptr;
        if (RegOpenKeyExW(_key, KEY, 0, KEY_READ, &program) != ERROR_SUCCESS)
            return false;
        DWORD values = 0;
        DWORD subkeys = 0;
        RegQueryInfoKeyW(program, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr);
        RegCloseKey(program);
        return values + subkeys > 0;
    }

    // Stores one raw registry value under the program's key ("chk/digits": subkey chk),
    // of any type, as another program or an older version could have left it.
    void write_value(const QString& name, DWORD type, const QByteArray& data) const {
        const qsizetype slash = name.lastIndexOf(QLatin1Char('/'));
        std::wstring key = KEY;
        if (slash >= 0)
            key += L"\\" + name.left(slash).toStdWString();
        const std::wstring value = name.mid(slash + 1).toStdWString();
        if (RegSetKeyValueW(_key, key.c_str(), value.c_str(), type, data.constData(),
                            static_cast<DWORD>(data.size())) != ERROR_SUCCESS)
            qFatal("cannot write the test value");
    }

    // Where the program keeps its options, below HKEY_CURRENT_USER.
    static constexpr const wchar_t* KEY = L"Software\\orvanel-works\\zelkora-desk";

private:
    std::wstring _name;
    HKEY _real_user = nullptr;
    HKEY _key = nullptr;
};
#else
// Points the settings store at a fresh directory, so no test sees or touches the real
// one, and no test sees another's values.
class IsolatedSettings {
public:
    IsolatedSettings() { point_at(_dir.path()); }
    ~IsolatedSettings() { point_at(QString()); }

    QString file() const { return _dir.filePath(QStringLiteral("orvanel-works/zelkora-desk.conf")); }
    QString dir() const { return _dir.path(); }
    // Whether the program has stored anything yet.
    bool holds_anything() const { return QFile::exists(file()); }

    static void point_at(const QString& dir) { QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir); }

private:
    QTemporaryDir _dir;
};
#endif
