#include "hosttoolkit.h"

#include "hpfcolumn.h"
#include "hpfitemmodel.h"

namespace WB {

IBaseHpfTableModel::IBaseHpfTableModel(bool replaceSameKey)
    : m_replaceSameKey(replaceSameKey)
{
}

IBaseHpfTableModel::~IBaseHpfTableModel()
{
    // The table may outlive its model; it must stop asking a model that is going away.
    if (m_itemModel)
        m_itemModel->sourceDestroyed(this);
}

quint64 IBaseHpfTableModel::getCompareTick() const
{
    return m_tick;
}

int IBaseHpfTableModel::compare(IBaseHpfTableData* left, IBaseHpfTableData* right, int column)
{
    if (!left || !right)
        return int(left == nullptr) - int(right == nullptr);
    switch (hpf::columnKind(columnType(column))) {
    case hpf::eKindInt:
        return hpf::compareNumbers(left->getInt(column), right->getInt(column));
    case hpf::eKindLonglong:
        return hpf::compareNumbers(left->getLonglong(column), right->getLonglong(column));
    case hpf::eKindDouble:
        return hpf::compareNumbers(left->getDouble(column), right->getDouble(column));
    case hpf::eKindText:
        break;
    }
    const int c = QString::compare(left->getText(column), right->getText(column), Qt::CaseSensitive);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool IBaseHpfTableModel::isCustomSort(int)
{
    return false;
}

bool IBaseHpfTableModel::isReverseSortFirst(int)
{
    return false;
}

bool IBaseHpfTableModel::filterAcceptsRow(IBaseHpfTableData*)
{
    return true;
}

void IBaseHpfTableModel::addData(const IBaseHpfTableDataPtr& row)
{
    if (!row)
        return;
    ++m_tick;
    const std::string key = row->getKey();
    // Rows without a key are never merged: a model whose rows carry no key keeps them all.
    if (key.empty()) {
        m_rows.push_back(row);
        return;
    }
    const auto found = m_index.find(key);
    if (found != m_index.end()) {
        if (m_replaceSameKey) {
            m_rows[std::size_t(found->second)] = row;
            return;
        }
        m_rows.push_back(row); // the index keeps pointing at the first row of that key
        return;
    }
    m_index.emplace(key, int(m_rows.size()));
    m_rows.push_back(row);
}

void IBaseHpfTableModel::clear()
{
    ++m_tick;
    m_rows.clear();
    m_index.clear();
}

int IBaseHpfTableModel::rowCount() const
{
    return int(m_rows.size());
}

IBaseHpfTableDataPtr IBaseHpfTableModel::getData(int index) const
{
    if (index < 0 || index >= int(m_rows.size()))
        return IBaseHpfTableDataPtr();
    return m_rows[std::size_t(index)];
}

IBaseHpfTableDataPtr IBaseHpfTableModel::getDataByKey(const std::string& key) const
{
    return getData(getDataIndexByKey(key));
}

int IBaseHpfTableModel::getDataIndexByKey(const std::string& key) const
{
    const auto found = m_index.find(key);
    return found == m_index.end() ? -1 : found->second;
}

const std::vector<IBaseHpfTableDataPtr>& IBaseHpfTableModel::rows() const
{
    return m_rows;
}

bool IBaseHpfTableModel::replacesSameKey() const
{
    return m_replaceSameKey;
}

void IBaseHpfTableModel::_setItemModel(CHpfItemModel* itemModel)
{
    m_itemModel = itemModel;
}

CHpfItemModel* IBaseHpfTableModel::_getDelegateData() const
{
    return m_itemModel;
}

} // namespace WB
