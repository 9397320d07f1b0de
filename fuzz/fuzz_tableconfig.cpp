// The table's saved layout string: it comes back from a settings file anyone can edit.
#include "panel/creditdatamaintable.h"

#include <QApplication>

#include <cstddef>
#include <cstdlib>
#include <cstdint>
#include <memory>

namespace {

struct Fixture
{
    std::unique_ptr<QApplication> app;
    std::unique_ptr<DVK::CCreditDataMainTable> table;
    QString initial;
} g;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    g.app = std::make_unique<QApplication>(*argc, *argv);
    // The panel's own summary table: its four columns and its id, as the panel saves them.
    g.table = std::make_unique<DVK::CCreditDataMainTable>(1331, nullptr);
    g.initial = g.table->saveConfigStr();
    // Qt's own globals, made after the fixture, would otherwise be gone before it at exit.
    std::atexit([] {
        g.table.reset();
        g.app.reset();
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString config = QString::fromUtf8(reinterpret_cast<const char*>(data), int(size));
    if (g.table->loadConfigStr(config)) {
        // What loaded must save and load again to the same layout.
        const QString saved = g.table->saveConfigStr();
        if (!g.table->loadConfigStr(saved) || g.table->saveConfigStr() != saved) {
            __builtin_trap();
        }
    }
    // Each input starts from the same table.
    g.table->loadConfigStr(g.initial);
    return 0;
}
