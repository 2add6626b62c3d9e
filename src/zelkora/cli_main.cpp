// zelkora-cli: the window's generator from a terminal and in scripts. Passwords go out a
// batch at a time, so any number of them takes the memory of one batch.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <system_error>

#include <sodium.h>

#include "cli_options.h"
#include "cli_output.h"
#include "errors.h"
#include "generator.h"
#include "policy_store.h"
#include "strength.h"
#include "symbol_warning.h"
#include "utf8.h"

namespace zelkora {

namespace {

constexpr int EXIT_REFUSED = 1;
constexpr int EXIT_USAGE = 2;
constexpr int EXIT_OUTPUT = 3;
constexpr int EXIT_POLICY = 4;

// Characters in one batch: 256 KiB of them, and at most four times as many bytes of text.
constexpr std::size_t BATCH_CHARACTERS = std::size_t{1} << 16;

// Text that holds passwords: what was written in it is wiped when it goes.
class SecretText {
public:
    explicit SecretText(std::size_t size) : _bytes(std::make_unique_for_overwrite<char[]>(size)) {}
    ~SecretText() { sodium_memzero(_bytes.get(), _written); }
    SecretText(const SecretText&) = delete;
    SecretText& operator=(const SecretText&) = delete;

    char* data() { return _bytes.get(); }
    // The text from data() to `end`, which has been written.
    std::string_view written_until(const char* end) {
        const auto size = static_cast<std::size_t>(end - _bytes.get());
        _written = std::max(_written, size);
        return {_bytes.get(), size};
    }

private:
    std::unique_ptr<char[]> _bytes;
    // Room for the longest code points is made, but ASCII fills a quarter of it.
    std::size_t _written = 0;
};

// The batch as UTF-8 in `text`, every password followed by the separator. A batch of
// ASCII, the usual one, is narrowed a password at a time, which the compiler vectorises.
std::string_view encode(const PasswordBatch& batch, std::string_view separator, SecretText& text) {
    const std::u32string_view chars = batch.characters();
    char32_t bits = 0;
    for (const char32_t c : chars) {
        bits |= c;
    }
    const bool ascii = bits < 0x80;
    char* end = text.data();
    for (const std::u32string_view password : batch) {
        if (ascii) {
            end =
                std::transform(password.begin(), password.end(), end, [](char32_t c) { return static_cast<char>(c); });
        } else {
            for (const char32_t c : password) {
                end = put_utf8(end, c);
            }
        }
        // A one-byte separator, the usual one, without a call to copy it.
        if (separator.size() == 1) {
            *end++ = separator.front();
        } else {
            end = std::copy(separator.begin(), separator.end(), end);
        }
    }
    return text.written_until(end);
}

std::string strength_line(const GenerationRequest& request) {
    const PasswordStrength strength = password_strength(request);
    return "強度: " + strength_amount(strength) + "（" + std::string(strength_word(strength_rating(strength))) + "）";
}

void write_text(std::string_view text) {
    const std::unique_ptr<Output> out = standard_output();
    out->write(text);
    out->finish();
}

// The refusals come before anything is opened, an existing file before anything is
// drawn; the random source is first read for the first batch, so its failure leaves
// nothing written.
void write_passwords(const CliOptions& options) {
    PasswordStream stream(options.request);
    const std::unique_ptr<Output> out =
        options.output ? file_output(*options.output, options.force) : standard_output();
    if (options.show_strength) {
        print_error_line(strength_line(options.request));
    }
    // The set is used as it is: a warning, not a refusal, as the window's strength line.
    if (const std::string warning = symbol_set_warning(options.request); !warning.empty()) {
        print_error_line("zelkora-cli: " + warning);
    }
    const std::size_t per_batch = std::max<std::size_t>(1, BATCH_CHARACTERS / stream.length());
    SecretText text(per_batch * (4 * stream.length() + options.separator.size()));
    for (std::uint64_t left = options.count; left > 0;) {
        const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(left, per_batch));
        out->write(encode(stream.next(count), options.separator, text));
        left -= count;
    }
    out->finish();
}

// Why the random source failed, in Japanese where a sandbox is the likely cause.
std::string random_failure(const std::error_code& code) {
    if (code == std::errc::function_not_supported) {
        return "この環境ではシステムの乱数を使えません";
    }
    if (code == std::errc::operation_not_permitted || code == std::errc::permission_denied) {
        return "システムの乱数を使うことが許可されていません";
    }
    return code.message();
}

void say(std::string_view message) {
    print_error_line("zelkora-cli: " + std::string(message));
}

int run(const std::vector<std::string>& args) {
    CliOptions options;
    try {
        options = parse_cli_options(args);
    } catch (const UsageError& error) {
        say(error.what());
        print_error_line("使い方は zelkora-cli --help で確かめられます。");
        return EXIT_USAGE;
    }
    if (options.action == CliOptions::Action::generate) {
        const Policy policy = system_policy();
        if (const auto refusal = apply_policy(policy, options)) {
            say(*refusal);
            // What is wrong, for the administrator the message sends the user to.
            for (const std::string& problem : policy.problems) {
                say(problem);
            }
            return EXIT_POLICY;
        }
    }
    try {
        switch (options.action) {
            case CliOptions::Action::help:
                write_text(cli_help_text());
                break;
            case CliOptions::Action::version:
                write_text(cli_version_text());
                break;
            case CliOptions::Action::generate:
                write_passwords(options);
                break;
        }
        return 0;
    } catch (const ReaderGone&) {
        return 0;
    } catch (const OutputError& error) {
        say(error.what());
        return EXIT_OUTPUT;
    } catch (const ValueError& refusal) {
        // The engine's own words, as the window shows them.
        say(refusal.what());
        return EXIT_REFUSED;
    } catch (const std::system_error& error) {
        say("安全な乱数源から読み取れませんでした（" + random_failure(error.code()) + "）");
        return EXIT_REFUSED;
    } catch (const std::bad_alloc&) {
        say("メモリーが足りません");
        return EXIT_REFUSED;
    } catch (const std::exception& error) {
        say(std::string("パスワードを作れませんでした（") + error.what() + "）");
        return EXIT_REFUSED;
    }
}

}  // namespace

}  // namespace zelkora

int main(int argc, char** argv) {
    zelkora::prepare_process();
    return zelkora::run(zelkora::command_line_arguments(argc, argv));
}
