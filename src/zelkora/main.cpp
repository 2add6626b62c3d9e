#include <log4cplus/initializer.h>

#include <cstdio>
#include <exception>
#include <new>
#include <stdexcept>
#include <system_error>

#include "errors.h"
#include "main_window.h"

namespace {

// The kind of the exception being handled, as the one-line report names it. Most
// specific first: the project's own kinds derive from the standard ones.
const char* kind_of_current_exception()
{
    try {
        throw;
    } catch (const zelkora::FileNotFoundError&) {
        return "FileNotFoundError";
    } catch (const zelkora::TypeError&) {
        return "TypeError";
    } catch (const zelkora::ValueError&) {
        return "ValueError";
    } catch (const std::system_error&) {  // file-system errors included
        return "OSError";
    } catch (const std::bad_alloc&) {
        return "MemoryError";
    } catch (const std::runtime_error&) {
        return "RuntimeError";
    } catch (...) {
        return "Error";
    }
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
    } catch (const std::exception& error) {
        // A failed start: one line on standard error, the kind and the message word for word.
        std::fprintf(stderr, "%s: %s\n", kind_of_current_exception(), error.what());
    } catch (...) {
        std::fputs("Error: unknown failure\n", stderr);
    }
    return 1;
}
