#pragma once
// A copy to the system clipboard that counts as made only once the clipboard holds it.

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class QMimeData;

namespace zelkora {

// Copies text to the clipboard, marked as a secret, and tells whether it got there. On
// Windows another program (a clipboard manager, a remote desktop's or a virtual machine's
// clipboard sharing, an office suite) may hold the clipboard open for a while; Qt then
// gives up, says so only in its own log, and the clipboard keeps what it held before,
// perhaps another secret, which the user would paste in the belief that it is the new
// password. So a copy the clipboard does not hold is tried again a few times, and then
// reported as refused.
class ClipboardCopy : public QObject {
    Q_OBJECT

public:
    // Hands the data to the clipboard, which owns it from then on and may delete it at
    // once if it cannot take it (QClipboard::setMimeData).
    using Put = std::function<void(QMimeData* data)>;

    explicit ClipboardCopy(Put put, QObject* parent = nullptr);

    // Copies `text`; ends in copied(), at once or after a retry, or else in refused().
    // A copy still waiting for its retry is given up for this one.
    void copy(const QString& text);

signals:
    void copied();
    void refused();

private:
    void _attempt();

    Put _put;
    QString _text;
    int _retries_left = 0;
    QTimer _retry;
};

}  // namespace zelkora
