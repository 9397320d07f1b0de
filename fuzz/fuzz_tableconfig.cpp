// The table's saved layout string: it comes back from a settings file anyone can edit.
#include "panel/creditdatamaintable.h"

#include <QApplication>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace {

std::unique_ptr<QApplication> g_app;
std::unique_ptr<DVK::CCreditDataMainTable> g_table;
QString g_initial;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    g_app = std::make_unique<QApplication>(*argc, *argv);
    // The panel's own summary table: its four columns and its id, as the panel saves them.
    g_table = std::make_unique<DVK::CCreditDataMainTable>(1331, nullptr);
    g_initial = g_table->saveConfigStr();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString config = QString::fromUtf8(reinterpret_cast<const char*>(data), int(size));
    if (g_table->loadConfigStr(config)) {
        // What loaded must save and load again to the same layout.
        const QString saved = g_table->saveConfigStr();
        if (!g_table->loadConfigStr(saved) || g_table->saveConfigStr() != saved) {
            __builtin_trap();
        }
    }
    // Each input starts from the same table.
    g_table->loadConfigStr(g_initial);
    return 0;
}
