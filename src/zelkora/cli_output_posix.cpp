#include "cli_output.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelkora {

namespace {

std::string reason(int error) {
    switch (error) {
        case ENOSPC:
            return "空き容量がありません";
        case EDQUOT:
            return "ディスク使用量の上限に達しました";
        case EACCES:
        case EPERM:
            return "アクセスが拒否されました";
        case EROFS:
            return "読み取り専用のファイル システムです";
        case ENOENT:
            return "フォルダーがありません";
        case ENOTDIR:
            return "途中にフォルダーでないものがあります";
        case EISDIR:
            return "フォルダーです";
        case EIO:
            return "入出力エラーです";
        case EBADF:
            return "開かれていません";
        default:
            return std::strerror(error);
    }
}

[[noreturn]] void fail(const std::string& where, int error) {
    throw OutputError("書き込めませんでした（" + where + "）: " + reason(error));
}

void write_all(int fd, std::string_view text, const std::string& where) {
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0 && errno == EPIPE) {
            throw ReaderGone();
        }
        if (written <= 0) {
            fail(where, written < 0 ? errno : EIO);
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
}

class StandardOutput : public Output {
public:
    void write(std::string_view text) override { write_all(STDOUT_FILENO, text, "標準出力"); }
    void finish() override {}
};

// The temporary file of an output in progress, removed if the program is interrupted:
// a signal handler may only use what is already in place, hence a fixed buffer.
char interrupted_temp[4096];

extern "C" void remove_temp_and_stop(int signal) {
    if (interrupted_temp[0] != '\0') {
        ::unlink(interrupted_temp);
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

class FileOutput : public Output {
public:
    FileOutput(const std::string& path, bool replace) : _path(path), _replace(replace) {
        struct stat existing {};
        if (::lstat(path.c_str(), &existing) == 0) {
            if (!replace) {
                throw OutputError(path + EXISTS);
            }
            // --force replaces a list, never a device (/dev/null), a folder or a link.
            if (!S_ISREG(existing.st_mode)) {
                throw OutputError(path + " は通常のファイルではないので置き換えません");
            }
        }
        const std::filesystem::path target(path);
        const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
        _temp = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
        // mkstemp makes it with mode 0600, whatever the umask allows beyond that.
        _fd = ::mkstemp(_temp.data());
        if (_fd < 0) {
            fail(path, errno);
        }
        if (_temp.size() < sizeof interrupted_temp) {
            std::memcpy(interrupted_temp, _temp.c_str(), _temp.size() + 1);
            for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
                std::signal(signal, remove_temp_and_stop);
            }
        }
    }

    ~FileOutput() override {
        if (_fd >= 0) {
            ::close(_fd);
        }
        if (!_finished) {
            ::unlink(_temp.c_str());
        }
        interrupted_temp[0] = '\0';
    }

    void write(std::string_view text) override { write_all(_fd, text, _path); }

    // On the disk before it takes the name: a crash of the machine after the rename
    // must not leave an empty or partial file there either.
    void finish() override {
        const int fd = std::exchange(_fd, -1);
        if (::fsync(fd) != 0 || ::close(fd) != 0) {
            fail(_path, errno);
        }
        if (!(_replace ? ::rename(_temp.c_str(), _path.c_str()) == 0 : take_name_unless_taken())) {
            if (errno == EEXIST) {
                throw OutputError(_path + EXISTS);
            }
            fail(_path, errno);
        }
        _finished = true;
    }

private:
    static constexpr const char* EXISTS = " はすでにあります（置き換えるには --force を付けます）";

    // A file that appeared under the name while the list was written is kept too. A file
    // system without the kernel's no-replace rename gets a hard link instead, which
    // fails the same way; the temporary name then goes.
    bool take_name_unless_taken() {
        if (::renameat2(AT_FDCWD, _temp.c_str(), AT_FDCWD, _path.c_str(), RENAME_NOREPLACE) == 0) {
            return true;
        }
        if (errno != EINVAL || ::link(_temp.c_str(), _path.c_str()) != 0) {
            return false;
        }
        ::unlink(_temp.c_str());
        return true;
    }

    std::string _path;
    std::string _temp;
    bool _replace;
    int _fd = -1;
    bool _finished = false;
};

}  // namespace

std::unique_ptr<Output> standard_output() {
    return std::make_unique<StandardOutput>();
}

std::unique_ptr<Output> file_output(const std::string& path, bool replace) {
    return std::make_unique<FileOutput>(path, replace);
}

void print_error_line(std::string_view text) {
    std::string line(text);
    line += '\n';
    try {
        write_all(STDERR_FILENO, line, "標準エラー出力");
    } catch (const std::exception&) {
        // Nowhere left to say it.
    }
}

std::vector<std::string> command_line_arguments(int argc, char** argv) {
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

void prepare_process() {
    std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace zelkora
