#include <log4cplus/initializer.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <new>
#include <stdexcept>

#include "errors.h"
#include "main_window.h"

namespace {

// One line on standard error: the error's kind, then its message word for word.
int report_failed_start(const char* kind, const std::exception& error)
{
    std::fprintf(stderr, "%s: %s\n", kind, error.what());
    return 1;
}

}  // namespace

int main(int argc, char* argv[])
{
    // log4cplus needs its initializer alive for as long as anything logs, and shuts
    // down (flushing every appender) when it goes: the whole life of the program.
    log4cplus::Initializer log_initializer;
    try {
        zelkora::initialize_main_window_unit();
        return zelkora::main(argc, argv);
    } catch (const zelkora::FileNotFoundError& error) {
        return report_failed_start("FileNotFoundError", error);
    } catch (const zelkora::TypeError& error) {
        return report_failed_start("TypeError", error);
    } catch (const zelkora::ValueError& error) {
        return report_failed_start("ValueError", error);
    } catch (const std::filesystem::filesystem_error& error) {
        return report_failed_start("OSError", error);
    } catch (const std::system_error& error) {
        return report_failed_start("OSError", error);
    } catch (const std::bad_alloc& error) {
        return report_failed_start("MemoryError", error);
    } catch (const std::runtime_error& error) {
        return report_failed_start("RuntimeError", error);
    } catch (const std::exception& error) {
        return report_failed_start("Error", error);
    } catch (...) {
        std::fputs("Error: unknown failure\n", stderr);
        return 1;
    }
}
