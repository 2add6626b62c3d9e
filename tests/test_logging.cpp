// The logging set-up: logging.ini applied with the log file it is given, a second call
// that touches nothing, and every way a configuration can fail.
#include "logging.h"

#include <log4cplus/hierarchy.h>
#include <log4cplus/initializer.h>
#include <log4cplus/logger.h>
#include <log4cplus/loggingmacros.h>
#include <log4cplus/nullappender.h>

#include <QtTest>

#include <filesystem>
#include <iterator>
#include <memory>
#include <string>

#include "runtime_fixture.h"

namespace fs = std::filesystem;
using zelkora::AppPaths;
using zelkora::RunContext;

namespace {

const std::string missing = "<missing>";
const std::string directory = "<directory>";

}  // namespace

class TestLogging : public QObject {
    Q_OBJECT

    log4cplus::Initializer log4cplus_;
    std::unique_ptr<ScratchFolder> scratch_;
    std::string valid_ini;  // the logging.ini the program ships

    fs::path p(const QString& relative) const { return scratch_->path(relative); }

private slots:
    void initTestCase() {
        valid_ini = read_file(zelkora::_resolve_logging_config_path());
        QVERIFY(!valid_ini.empty());
    }

    void init() {
        log4cplus::Logger::getDefaultHierarchy().resetConfiguration();
        scratch_ = std::make_unique<ScratchFolder>();
    }

    void cleanup() { log4cplus::Logger::getDefaultHierarchy().resetConfiguration(); }

    void init_logging_writes_the_log() {
        const RunContext context = packaged_at(p("inst/app"));
        write_file(context.executable, "");
        write_file(p("inst/app/zelkora/logging.ini"), valid_ini);
        write_file(p("inst/log/app.log"), "from the last run\n");
        const auto earlier = log4cplus::Logger::getInstance(LOG4CPLUS_TEXT("zelkora.earlier"));

        QCOMPARE(zelkora::init_logging(context), AppPaths(p("inst"), p("inst/log")));

        const auto window = log4cplus::Logger::getInstance(LOG4CPLUS_TEXT("zelkora.main_window"));
        LOG4CPLUS_INFO(window, zelkora::to_log_text("[resource_path] 候補 /tmp/ü"));
        LOG4CPLUS_DEBUG(window, "below the configured level");
        LOG4CPLUS_WARN(earlier, "still heard");

        std::string log = read_file(p("inst/log/app.log"));
#if defined(_WIN32)
        // Text mode: Windows' line ends.
        for (auto at = log.find("\r\n"); at != std::string::npos; at = log.find("\r\n", at))
            log.erase(at, 1);
#endif
        QVERIFY2(log.starts_with("from the last run\n"), log.c_str());
        QVERIFY2(log.find("INFO  zelkora.main_window - [resource_path] 候補 /tmp/ü\n") != std::string::npos,
                 log.c_str());
        QVERIFY2(log.find("WARN  zelkora.earlier - still heard\n") != std::string::npos, log.c_str());
        QVERIFY(log.find("below the configured level") == std::string::npos);
        QVERIFY(!fs::exists(p("inst/log/.write_test")));

        // Configured now: a second call reads nothing, not even a vanished configuration.
        fs::remove(p("inst/app/zelkora/logging.ini"));
        QCOMPARE(zelkora::init_logging(context), AppPaths(p("inst"), p("inst/log")));
    }

    void init_logging_uses_the_given_log_dir_data() {
        QTest::addColumn<QString>("log_dir");
        QTest::newRow("elsewhere") << "other/logs";
        // Outside Windows a backslash belongs to the name; it must not become a separator.
        QTest::newRow("backslash in a name") << "odd\\name";
        // A Windows user's folder: the log file is opened by its wide name there.
        QTest::newRow("user folder in Japanese") << "Users/山田/log";
    }

    void init_logging_uses_the_given_log_dir() {
        QFETCH(QString, log_dir);
        const RunContext context = packaged_at(p("inst/app"));
        write_file(p("inst/app/zelkora/logging.ini"), valid_ini);
        const AppPaths given(p("inst"), p(log_dir));

        QCOMPARE(zelkora::init_logging(context, given), given);
        LOG4CPLUS_INFO(log4cplus::Logger::getInstance(LOG4CPLUS_TEXT("zelkora.main_window")), "here");

        QVERIFY(read_file(p(log_dir) / "app.log").find("here") != std::string::npos);
        QCOMPARE(std::distance(fs::directory_iterator(scratch_->root()), fs::directory_iterator()),
                 2);  // inst and the log's
    }

    // Without a thread pool to hand them to, log4cplus would drop or crash on them.
    void asynchronous_appending_is_refused_in_the_log() {
        const RunContext context = packaged_at(p("inst/app"));
        write_file(p("inst/app/zelkora/logging.ini"), valid_ini + "log4cplus.appender.file.AsyncAppend=true\n");

        zelkora::init_logging(context);
        LOG4CPLUS_INFO(log4cplus::Logger::getInstance(LOG4CPLUS_TEXT("zelkora.main_window")), "written at once");
        const std::string log = read_file(p("inst/log/app.log"));
        QVERIFY2(log.find("WARN  zelkora.logging - ") != std::string::npos &&
                     log.find(".AsyncAppend is not supported") != std::string::npos &&
                     log.find("written at once") != std::string::npos,
                 log.c_str());
    }

    void init_logging_returns_early_when_configured() {
        auto root = log4cplus::Logger::getRoot();
        root.addAppender(log4cplus::SharedAppenderPtr(new log4cplus::NullAppender()));
        const RunContext context = packaged_at(p("inst/app"));  // holds no logging.ini at all
        const AppPaths given(p("a"), p("b/log"));

        QCOMPARE(zelkora::init_logging(context, given), given);
        QCOMPARE(zelkora::init_logging(context), AppPaths(p("inst"), p("inst/log")));
        QVERIFY(fs::is_empty(scratch_->root()));
        QCOMPARE(root.getAllAppenders().size(), std::size_t{1});
    }

    void init_logging_fails_data() {
        QTest::addColumn<std::string>("ini");      // `missing`, `directory` or the file's text
        QTest::addColumn<bool>("app_log_is_dir");  // a directory stands at log/app.log
        QTest::addColumn<QString>("reason");       // part of the error message

        const auto variant = [this](const std::string& from, const std::string& to) {
            std::string text = valid_ini;
            const auto at = text.find(from);
            return at == std::string::npos ? std::string("substitution failed") : text.replace(at, from.size(), to);
        };
        QTest::newRow("missing logging.ini") << missing << false << "not found";
        QTest::newRow("logging.ini is a directory") << directory << false << "not a regular file";
        QTest::newRow("log file cannot be opened") << valid_ini << true << "Unable to open file";
        QTest::newRow("quiet mode asked for")
            << "log4cplus.quietMode=true\n" + valid_ini << true << "Unable to open file";
        QTest::newRow("unknown level") << variant("rootLogger=INFO", "rootLogger=INFOO") << false
                                       << "Unrecognized log level";
        QTest::newRow("root level inherited")
            << variant("rootLogger=INFO", "rootLogger=INHERITED") << false << "no level";
        QTest::newRow("no appender") << std::string("# nothing configured\n") << false << "no appender";
    }

    void init_logging_fails() {
        QFETCH(std::string, ini);
        QFETCH(bool, app_log_is_dir);
        QFETCH(QString, reason);

        const RunContext context = packaged_at(p("inst"));
        const fs::path config = p("inst/zelkora/logging.ini");
        if (ini == directory) {
            fs::create_directories(config);
        } else if (ini != missing) {
            write_file(config, ini);
        }
        if (app_log_is_dir)
            fs::create_directories(p("inst/log/app.log"));

        try {
            zelkora::init_logging(context);
            QFAIL("no error");
        } catch (const fs::filesystem_error& error) {
            QFAIL(error.what());
        } catch (const std::runtime_error& error) {
            const QString message = QString::fromUtf8(error.what());
            QVERIFY2(message.contains(reason), error.what());
            QVERIFY2(message.contains(QString::fromStdU16String(fs::path(config).make_preferred().u16string())),
                     error.what());
        }
        QVERIFY(log4cplus::Logger::getRoot().getAllAppenders().empty());  // still not configured
        QVERIFY(fs::is_directory(p("inst/log")));                         // created before the failure
        QVERIFY(!fs::exists(p("inst/log/.write_test")));
    }
};

QTEST_APPLESS_MAIN(TestLogging)
#include "test_logging.moc"
