// The run mode and the directories derived from it: the real process, laid-out copies
// in a scratch folder, and the log directory's creation and probe.
#include "paths.h"

#include <QtTest>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "runtime_fixture.h"

namespace fs = std::filesystem;
using zelkora::AppPaths;
using zelkora::RunContext;

class TestPaths : public QObject {
    Q_OBJECT

    std::unique_ptr<ScratchFolder> scratch_;

    fs::path p(const QString& relative) const { return scratch_->path(relative); }

private slots:
    void init() { scratch_ = std::make_unique<ScratchFolder>(); }

    void real_process_runs_from_the_source_tree() {
        // This test binary lies in the build tree, so it must see the source tree.
        const RunContext context = zelkora::current_run_context();
        QVERIFY(!context.packaged);
#if defined(_WIN32)
        // The C run-time's own record of the program's path.
        QVERIFY(_pgmptr != nullptr);
        QCOMPARE(fs::weakly_canonical(context.executable), fs::weakly_canonical(_pgmptr));
#else
        QCOMPARE(fs::weakly_canonical(context.executable), fs::canonical("/proc/self/exe"));
#endif
        const fs::path root = zelkora::_resolve_app_dir();
        QVERIFY(fs::is_regular_file(root / "src" / "zelkora" / "paths.h"));
        QCOMPARE(zelkora::get_app_paths(), AppPaths(root, root / "log"));
        QCOMPARE(zelkora::_resolve_logging_config_path(), root / "src" / "zelkora" / "logging.ini");
        QCOMPARE(zelkora::get_resource_bases(), (std::vector<fs::path>{root, root / "app"}));
    }

    void run_mode_from_the_build_trees_marker_data() {
        QTest::addColumn<QString>("exe_dir");
        QTest::addColumn<QString>("marker_dir");   // empty: no marker anywhere
        QTest::addColumn<QString>("marker_text");  // "@" stands for the scratch folder
        QTest::addColumn<bool>("packaged");
        QTest::addColumn<QString>("app_dir");

        QTest::newRow("program at the tree's top") << "proj/build"
                                                   << "proj/build"
                                                   << "..\n"
                                                   << false << "proj";
        QTest::newRow("test one folder down") << "proj/build/tests"
                                              << "proj/build"
                                              << "..\n"
                                              << false << "proj";
        QTest::newRow("absolute, Windows line end") << "b"
                                                    << "b"
                                                    << "@/proj\r\n"
                                                    << false << "proj";
        QTest::newRow("copy staged in the tree") << "proj/build/package/zd/app"
                                                 << "proj/build"
                                                 << "..\n"
                                                 << true << "proj/build/package/zd";
        QTest::newRow("no marker") << "tools/app"
                                   << ""
                                   << "" << true << "tools";
    }

    void run_mode_from_the_build_trees_marker() {
        QFETCH(QString, exe_dir);
        QFETCH(QString, marker_dir);
        QFETCH(QString, marker_text);
        QFETCH(bool, packaged);
        QFETCH(QString, app_dir);

        const fs::path executable = p(exe_dir) / "zelkora-desk";
        write_file(executable, "");
        if (!marker_dir.isEmpty()) {
            const QString text = marker_text.replace("@", QString::fromStdU16String(scratch_->root().u16string()));
            write_file(p(marker_dir) / zelkora::SOURCE_TREE_MARKER, text.toStdString());
        }
        const RunContext context = zelkora::_run_context_of(executable);

        QCOMPARE(context.packaged, packaged);
        QCOMPARE(zelkora::_resolve_app_dir(context), p(app_dir));
        QCOMPARE(zelkora::_resolve_logging_config_path(context),
                 packaged ? p(exe_dir) / "zelkora" / "logging.ini" : p(app_dir) / "src" / "zelkora" / "logging.ini");
    }

    void directories_per_layout_data() {
        QTest::addColumn<bool>("packaged");
        QTest::addColumn<QString>("exe_dir");  // packaged: where the executable lies
        QTest::addColumn<QString>("bundle");   // empty: no bundle directory
        QTest::addColumn<QString>("app_dir");
        QTest::addColumn<QStringList>("bases");
        QTest::addColumn<QString>("config");

        QTest::newRow("packaged, E not app")
            << true << "tools/bin"
            << ""
            << "tools/bin" << QStringList{"tools/bin", "tools/bin/src"} << "tools/bin/zelkora/logging.ini";
        QTest::newRow("packaged, E app") << true << "tools/app"
                                         << ""
                                         << "tools" << QStringList{"tools/app", "tools/app/src", "tools"}
                                         << "tools/app/zelkora/logging.ini";
        QTest::newRow("packaged, E App") << true << "tools/App"
                                         << ""
                                         << "tools/App" << QStringList{"tools/App", "tools/App/src"}
                                         << "tools/App/zelkora/logging.ini";
        QTest::newRow("bundle, E app") << true << "tools/app"
                                       << "unpack"
                                       << "tools" << QStringList{"unpack", "tools/app", "tools/app/src", "tools"}
                                       << "tools/app/zelkora/logging.ini";
        QTest::newRow("bundle is P, trailing slash")
            << true << "tools/app"
            << "tools/"
            << "tools" << QStringList{"tools/", "tools/app", "tools/app/src"} << "tools/app/zelkora/logging.ini";
        QTest::newRow("bundle is E, listed twice")
            << true << "tools/app"
            << "tools/app"
            << "tools" << QStringList{"tools/app", "tools/app", "tools/app/src", "tools"}
            << "tools/app/zelkora/logging.ini";
        QTest::newRow("source tree") << false << ""
                                     << ""
                                     << "proj" << QStringList{"proj", "proj/app"} << "proj/src/zelkora/logging.ini";
        QTest::newRow("source tree, bundle")
            << false << ""
            << "unpack"
            << "proj" << QStringList{"unpack", "proj", "proj/app"} << "proj/src/zelkora/logging.ini";
    }

    void directories_per_layout() {
        QFETCH(bool, packaged);
        QFETCH(QString, exe_dir);
        QFETCH(QString, bundle);
        QFETCH(QString, app_dir);
        QFETCH(QStringList, bases);
        QFETCH(QString, config);

        RunContext context;
        if (packaged) {
            context = packaged_at(p(exe_dir));
            write_file(context.executable, "");
        } else {
            context.executable = p("proj/build/src/zelkora/zelkora-desk");
            context.zelkora_dir = p("proj/src/zelkora");
            fs::create_directories(context.zelkora_dir);
        }
        // Given exactly as the packaging would, not resolved.
        if (!bundle.isEmpty())
            context.bundle_dir = scratch_->root().string() + "/" + bundle.toStdString();

        QCOMPARE(zelkora::_resolve_app_dir(context), p(app_dir));
        QCOMPARE(zelkora::get_app_paths(context), AppPaths(p(app_dir), p(app_dir) / "log"));
        QVERIFY(!fs::exists(p(app_dir) / "log"));  // nothing on disk was touched

        std::vector<fs::path> expected;
        for (const QString& base : bases)
            expected.push_back(scratch_->root().string() + "/" + base.toStdString());
        QCOMPARE(zelkora::get_resource_bases(context), expected);

        QCOMPARE(zelkora::_resolve_logging_config_path(context), p(config));
    }

    // An all-users install (the marker in its zelkora/ folder) keeps each user's log in
    // that user's own state folder; every other copy keeps it beside app\ as before.
    void log_folder_of_an_install_data() {
        QTest::addColumn<bool>("all_users");
        QTest::addColumn<QByteArray>("xdg_state_home");  // "@" stands for the scratch folder; Linux only
        QTest::addColumn<QString>("state_dir");          // relative to the scratch folder, or "$LOCALAPPDATA"

        QTest::newRow("per-user copy") << false << QByteArray("@/state") << "pf/zelkora-desk/log";
#if defined(_WIN32)
        QTest::newRow("all users") << true << QByteArray() << "$LOCALAPPDATA/orvanel-works/zelkora-desk/log";
#else
        QTest::newRow("all users") << true << QByteArray("@/state") << "state/orvanel-works/zelkora-desk/log";
        QTest::newRow("all users, no XDG_STATE_HOME")
            << true << QByteArray() << "home/.local/state/orvanel-works/zelkora-desk/log";
        QTest::newRow("all users, relative XDG_STATE_HOME is ignored")
            << true << QByteArray("state") << "home/.local/state/orvanel-works/zelkora-desk/log";
#endif
    }

    void log_folder_of_an_install() {
        QFETCH(bool, all_users);
        QFETCH(QByteArray, xdg_state_home);
        QFETCH(QString, state_dir);

        const QByteArray root = QByteArray::fromStdString(scratch_->root().string());
        const QByteArray saved_home = qgetenv("HOME"), saved_state = qgetenv("XDG_STATE_HOME");
        qputenv("HOME", root + "/home");
        if (xdg_state_home.isNull())
            qunsetenv("XDG_STATE_HOME");
        else
            qputenv("XDG_STATE_HOME", xdg_state_home.replace("@", root));
        const fs::path executable = p("pf/zelkora-desk/app/zelkora-desk");
        write_file(executable, "");
        if (all_users)
            write_file(p("pf/zelkora-desk/app/zelkora") / zelkora::ALL_USERS_MARKER, "");

        const RunContext context = zelkora::_run_context_of(executable);
        qputenv("HOME", saved_home);
        saved_state.isNull() ? qunsetenv("XDG_STATE_HOME") : qputenv("XDG_STATE_HOME", saved_state);

        if (state_dir.startsWith("$LOCALAPPDATA")) {
            // The user's real folder: compared, never written to.
            const fs::path local = qEnvironmentVariable("LOCALAPPDATA").toStdU16String();
            QCOMPARE(zelkora::get_app_paths(context),
                     AppPaths(p("pf/zelkora-desk"), local / state_dir.mid(14).toStdU16String()));
            return;
        }
        QCOMPARE(zelkora::ensure_runtime_dirs(context), AppPaths(p("pf/zelkora-desk"), p(state_dir)));
        QVERIFY(fs::is_directory(p(state_dir)));
        QCOMPARE(fs::exists(p("pf/zelkora-desk/log")), !all_users);
    }

    void links_are_resolved() {
        // Reached through a link named "app", the executable really lies in real/bin.
        write_file(p("real/bin/zelkora-desk"), "");
        std::error_code no_link;
        fs::create_directory_symlink(p("real/bin"), p("app"), no_link);
#if defined(_WIN32)
        // Windows lets only administrators and developer mode make symbolic links.
        if (no_link)
            QSKIP("no symbolic link can be made here");
#endif
        QVERIFY2(!no_link, no_link.message().c_str());
        const RunContext context = packaged_at(p("app"));

        QCOMPARE(zelkora::get_app_paths(context), AppPaths(p("real/bin"), p("real/bin/log")));
        QCOMPARE(zelkora::get_resource_bases(context), (std::vector<fs::path>{p("real/bin"), p("real/bin/src")}));
        QCOMPARE(zelkora::_resolve_logging_config_path(context), p("real/bin/zelkora/logging.ini"));
    }

    void ensure_runtime_dirs_data() {
        QTest::addColumn<QString>("log_dir");
        QTest::addColumn<std::string>("stale_probe");  // empty: none left behind

        QTest::newRow("three missing levels") << "x/y/log" << std::string();
        QTest::newRow("existing directory") << "" << std::string();
        QTest::newRow("stale probe") << "log" << std::string("left by an earlier process");
    }

    void ensure_runtime_dirs() {
        QFETCH(QString, log_dir);
        QFETCH(std::string, stale_probe);

        const AppPaths given(p("elsewhere"), p(log_dir));
        if (!stale_probe.empty())
            write_file(given.log_dir / ".write_test", stale_probe);

        for (int round = 0; round < 2; ++round) {
            QCOMPARE(zelkora::ensure_runtime_dirs(RunContext{}, given), given);
            QVERIFY(fs::is_directory(given.log_dir));
            QVERIFY(!fs::exists(given.log_dir / ".write_test"));
        }
        QVERIFY(!fs::exists(p("elsewhere")));
    }

    void ensure_runtime_dirs_fails_data() {
        QTest::addColumn<QString>("blocker");  // what stands in the way: a file, or a directory if it ends in "/"
        QTest::addColumn<QString>("log_dir");
        QTest::addColumn<int>("error");  // the errno expected, 0 for any

        QTest::newRow("file at the log directory") << "log"
                                                   << "log" << EEXIST;
        QTest::newRow("file at an ancestor") << "a"
                                             << "a/b/log" << 0;
#if defined(_WIN32)
        QTest::newRow("directory at the probe") << "a/b/log/.write_test/"
                                                << "a/b/log" << EACCES;
#else
        QTest::newRow("directory at the probe") << "a/b/log/.write_test/"
                                                << "a/b/log" << EISDIR;
#endif
    }

    void ensure_runtime_dirs_fails() {
        QFETCH(QString, blocker);
        QFETCH(QString, log_dir);
        QFETCH(int, error);

        if (blocker.endsWith('/')) {
            fs::create_directories(p(blocker));
        } else {
            write_file(p(blocker), "in the way");
        }
        try {
            zelkora::ensure_runtime_dirs(RunContext{}, AppPaths(scratch_->root(), p(log_dir)));
            QFAIL("no error");
        } catch (const fs::filesystem_error& failure) {
            if (error != 0)
                QCOMPARE(failure.code(), std::error_code(error, std::generic_category()));
        }
        if (blocker.endsWith('/'))
            QVERIFY(fs::is_directory(p(log_dir)));  // created before the probe failed
    }
};

QTEST_APPLESS_MAIN(TestPaths)
#include "test_paths.moc"
