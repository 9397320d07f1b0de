#include "hpflayout.h"

#include <QStringList>

namespace WB {

namespace {

const char kTag[] = "hpf1";

// "a,b,c" of integers; false on anything else.
bool parseIntList(const QString& text, QVector<int>& out)
{
    out.clear();
    if (text.isEmpty())
        return true;
    const QStringList parts = text.split(QLatin1Char(','));
    for (const QString& part : parts) {
        bool ok = false;
        const int value = part.toInt(&ok);
        if (!ok)
            return false;
        out.append(value);
    }
    return true;
}

bool takeField(const QString& part, const QString& name, QVector<int>& out)
{
    const QString prefix = name + QLatin1Char('=');
    if (!part.startsWith(prefix))
        return false;
    return parseIntList(part.mid(prefix.size()), out);
}

QString joinInts(const QVector<int>& values)
{
    QStringList parts;
    parts.reserve(values.size());
    for (int v : values)
        parts.append(QString::number(v));
    return parts.join(QLatin1Char(','));
}

} // namespace

QString CHpfLayout::toString() const
{
    QVector<int> shown;
    shown.reserve(visible.size());
    for (bool v : visible)
        shown.append(v ? 1 : 0);
    return QStringLiteral("%1:%2:order=%3:w=%4:vis=%5:sort=%6,%7")
        .arg(QLatin1String(kTag))
        .arg(tableId)
        .arg(joinInts(order), joinInts(widths), joinInts(shown))
        .arg(sortColumn)
        .arg(sortColumn >= 0 && descending ? 1 : 0);
}

bool CHpfLayout::parse(const QString& text, int tableId, int columnCount, CHpfLayout& layout)
{
    if (columnCount <= 0 || text.isEmpty() || text.contains(QLatin1Char(';')))
        return false;
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() != 6 || parts[0] != QLatin1String(kTag))
        return false;
    bool idOk = false;
    if (parts[1].toInt(&idOk) != tableId || !idOk)
        return false;
    QVector<int> order, widths, visible, sort;
    if (!takeField(parts[2], QStringLiteral("order"), order) || !takeField(parts[3], QStringLiteral("w"), widths) ||
        !takeField(parts[4], QStringLiteral("vis"), visible) || !takeField(parts[5], QStringLiteral("sort"), sort))
        return false;
    if (visible.size() != columnCount || sort.size() != 2)
        return false;
    CHpfLayout parsed;
    parsed.tableId = tableId;
    parsed.order = order;
    parsed.widths = widths;
    for (int v : visible) {
        if (v != 0 && v != 1)
            return false;
        parsed.visible.append(v == 1);
    }
    // "sort=-1,1" is never written: refused, not read as unsorted.
    if ((sort[1] != 0 && sort[1] != 1) || (sort[0] == -1 && sort[1] != 0))
        return false;
    parsed.sortColumn = sort[0];
    parsed.descending = sort[1] == 1;
    if (!parsed.isValidFor(columnCount))
        return false;
    layout = parsed;
    return true;
}

bool CHpfLayout::isValidFor(int columnCount) const
{
    const int n = columnCount;
    if (n <= 0 || order.size() != n || widths.size() != n || visible.size() != n)
        return false;
    QVector<bool> seen(n, false);
    for (int i = 0; i < n; ++i) {
        if (order[i] < 0 || order[i] >= n || seen[order[i]])
            return false;
        seen[order[i]] = true;
        if (widths[i] < 1 || widths[i] > kMaxColumnWidth)
            return false;
    }
    return sortColumn >= -1 && sortColumn < n;
}

} // namespace WB
