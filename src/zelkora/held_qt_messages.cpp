#include "held_qt_messages.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QRegularExpression>
#include <QString>

#include <log4cplus/logger.h>
#include <log4cplus/loggingmacros.h>

#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

#include "logging.h"

namespace zelkora {

namespace {

// Qt's last words when no platform plug-in starts (Qt 6.4 to 6.8), after which it aborts.
constexpr QStringView NO_PLATFORM = u"no Qt platform plugin could be initialized";

// One message of Qt's, kept with copies of its context: a category made at run time
// need not outlive it.
struct QtMessage {
    QtMsgType type;
    QByteArray file, function, category;
    int line;
    QString text;

    QtMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
        : type(type),
          file(context.file),
          function(context.function),
          category(context.category),
          line(context.line),
          text(text) {}
};

// What Qt said while held (on Qt 6.5 and later, one of its lines blames a missing library
// whatever the cause), the handler it goes to when the start goes on, and the report of
// one that fails: one of each, as Qt has one message handler.
std::mutex held_mutex;
std::vector<QtMessage> held;
QtMessageHandler previous_handler = nullptr;
FailedStartReport failed_start_report = nullptr;

void give_on_held() {
    std::vector<QtMessage> messages;
    {
        const std::lock_guard lock(held_mutex);
        messages.swap(held);
    }
    for (const QtMessage& message : messages) {
        const QMessageLogContext context(message.file.constData(), message.line, message.function.constData(),
                                         message.category.constData());
        previous_handler(message.type, context, message.text);
    }
}

// Why no window can open, from what Qt said while it tried: the display it could not
// reach, or else the plug-in it could not load.
std::string failed_platform_cause(const std::vector<QtMessage>& said) {
    for (const QtMessage& message : said) {
        if (message.text.contains(u"could not connect to display")) {
            const QString display = qEnvironmentVariable("DISPLAY");
            return display.isEmpty() ? "画面に接続できません: DISPLAY が設定されていません"
                                     : "画面に接続できません: DISPLAY=" + display.toStdString();
        }
    }
    // Could not load (or find) the Qt platform plugin "xcb" in ...
    static const QRegularExpression named(QStringLiteral("the Qt platform plugin \"([^\"]+)\""));
    for (const QtMessage& message : said) {
        const QRegularExpressionMatch match = named.match(message.text);
        if (match.hasMatch())
            return "Qt のプラットフォーム プラグインを読み込めません: " + match.captured(1).toStdString();
    }
    return "Qt のプラットフォーム プラグインを読み込めません";
}

log4cplus::LogLevel log_level(QtMsgType type) {
    switch (type) {
        case QtDebugMsg:
            return log4cplus::DEBUG_LOG_LEVEL;
        case QtInfoMsg:
            return log4cplus::INFO_LOG_LEVEL;
        case QtWarningMsg:
            return log4cplus::WARN_LOG_LEVEL;
        case QtCriticalMsg:
            return log4cplus::ERROR_LOG_LEVEL;
        case QtFatalMsg:
            break;
    }
    return log4cplus::FATAL_LOG_LEVEL;
}

// Qt's fatal message may not return: the failed start is reported here, and the process
// ends at once, as the abort it replaces would. Nothing of the half-made application is
// torn down, so no destructor runs; the log is closed by hand first.
[[noreturn]] void fail_start(QtMessage fatal) {
    std::vector<QtMessage> said;
    {
        const std::lock_guard lock(held_mutex);
        said.swap(held);
    }
    said.push_back(std::move(fatal));
    if (!log4cplus::Logger::getRoot().getAllAppenders().empty()) {
        const log4cplus::Logger logger = log4cplus::Logger::getInstance(LOG4CPLUS_TEXT("zelkora.application"));
        for (const QtMessage& message : said) {
            const QString line = QString::fromUtf8(message.category) + QStringLiteral(": ") + message.text.simplified();
            logger.log(log_level(message.type), to_log_text(line.toStdString()));
        }
        log4cplus::Logger::shutdown();
    }
    failed_start_report("RuntimeError: " + failed_platform_cause(said) + "\n");
    std::_Exit(1);
}

void hold_qt_message(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) {
        if (failed_start_report != nullptr && text.contains(NO_PLATFORM))
            fail_start(QtMessage(type, context, text));
        // Any other fatal message stays Qt's: said after what came before it, then the abort.
        give_on_held();
        previous_handler(type, context, text);
        return;
    }
    const std::lock_guard lock(held_mutex);
    held.emplace_back(type, context, text);
}

}  // namespace

HeldQtMessages::HeldQtMessages(FailedStartReport report) {
    failed_start_report = report;
    previous_handler = qInstallMessageHandler(hold_qt_message);
}

HeldQtMessages::~HeldQtMessages() {
    qInstallMessageHandler(previous_handler);
    give_on_held();
    failed_start_report = nullptr;
}

}  // namespace zelkora
