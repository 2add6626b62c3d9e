#include "clipboard_copy.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPointer>

#include <utility>

namespace zelkora {

namespace {

// Qt's Windows plug-in already tries three times within every put, 100 ms apart, with
// the window frozen meanwhile. These retries wait in the event loop instead, so the
// window keeps drawing and answering between them. A clipboard held throughout is
// reported refused after about 1.4 s on Windows (three puts of Qt's tries, and the two
// waits), soon enough for the user to learn what happened and copy again.
constexpr int RETRIES = 2;
constexpr int RETRY_INTERVAL_MS = 250;

// Besides the plain text, mark the copy as a secret, so clipboard managers and
// clipboard histories leave the password out. What is pasted stays the same.
QMimeData* secret_text(const QString& text) {
    auto* data = new QMimeData;
    data->setText(text);
#if defined(Q_OS_WIN)
    data->setData(QStringLiteral("ExcludeClipboardContentFromMonitorProcessing"), QByteArray(4, '\0'));
#elif defined(Q_OS_MACOS)
    data->setData(QStringLiteral("application/x-nspasteboard-concealed-type"), QByteArray());
#else
    data->setData(QStringLiteral("x-kde-passwordManagerHint"), QByteArrayLiteral("secret"));
#endif
    return data;
}

// Whether the clipboard holds this very data, asked without reading what another program
// may have put there. QClipboard::mimeData() returns the program's own object only while
// it is on the clipboard: Windows asks OLE (OleIsCurrentClipboard), X asks the server who
// owns the selection, and platforms without a system clipboard (offscreen, minimal) keep
// it in the process. ownsClipboard() would not do: it is false on the latter always, and
// on X true even where the server did not make the program the owner. A refused copy is
// deleted by Qt's Windows plug-in, which the guarded pointer notices.
bool on_clipboard(const QPointer<QMimeData>& data) {
    return data && QGuiApplication::clipboard()->mimeData() == data.get();
}

}  // namespace

ClipboardCopy::ClipboardCopy(Put put, QObject* parent) : QObject(parent), _put(std::move(put)) {
    _retry.setSingleShot(true);
    _retry.setInterval(RETRY_INTERVAL_MS);
    connect(&_retry, &QTimer::timeout, this, &ClipboardCopy::_attempt);
}

void ClipboardCopy::copy(const QString& text) {
    _retry.stop();
    _text = text;
    _retries_left = RETRIES;
    _attempt();
}

void ClipboardCopy::_attempt() {
    // A refused copy is deleted, so every try puts data of its own.
    const QPointer<QMimeData> data = secret_text(_text);
    _put(data.get());
    const bool held = on_clipboard(data);
    if (!held && _retries_left > 0) {
        --_retries_left;
        _retry.start();
        return;
    }
    // The passwords are kept no longer than their copy needs them.
    _text = QString();
    if (held)
        emit copied();
    else
        emit refused();
}

}  // namespace zelkora
