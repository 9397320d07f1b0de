#include "programend.h"

#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>
#include <system_error>

namespace {

const char* g_program = "program";
int g_exitCode = 2;
QtMessageHandler g_previousHandler = nullptr;

// Nothing here may need memory: it runs when there is none left.
void endNow(const char* why, const char* detail)
{
    std::fprintf(stderr, "%s: %s%s%s\n", g_program, why, detail && *detail ? ": " : "", detail ? detail : "");
    std::fflush(stderr);
    std::_Exit(g_exitCode);
}

void onTerminate()
{
    const std::exception_ptr pending = std::current_exception();
    if (!pending)
        endNow("stopped on an internal error", nullptr);
    try {
        std::rethrow_exception(pending);
    } catch (const std::bad_alloc&) {
        endNow("not enough memory (an address-space or memory limit?), stopped", nullptr);
    } catch (const std::system_error& e) {
        endNow("a resource could not be had, stopped", e.what());
    } catch (const std::exception& e) {
        endNow("stopped on an error", e.what());
    } catch (...) {
        endNow("stopped on an unknown error", nullptr);
    }
}

void onQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type != QtFatalMsg) {
        if (g_previousHandler)
            g_previousHandler(type, context, text);
        else
            std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        return;
    }
    endNow("stopped", text.toLocal8Bit().constData());
}

} // namespace

namespace standin {

void endWithMessageOnFailure(const char* program, int exitCode)
{
    g_program = program;
    g_exitCode = exitCode;
    std::set_terminate(onTerminate);
    g_previousHandler = qInstallMessageHandler(onQtMessage);
}

} // namespace standin
