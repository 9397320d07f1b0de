#include "hpffiltermenu.h"

#include "hpfstyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSet>
#include <QVBoxLayout>
#include <QWidgetAction>

namespace WB {

CHpfFilterMenu::CHpfFilterMenu(int column, const QStringList& values, const QStringList& current, QWidget* parent)
    : QMenu(parent)
    , m_column(column)
    , m_values(values)
{
    setObjectName(QStringLiteral("hpfFilterMenu"));
    setAttribute(Qt::WA_DeleteOnClose);

    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("filterPanel"));
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(6);

    m_search = new QLineEdit(panel);
    m_search->setObjectName(QStringLiteral("filterSearch"));
    m_search->setPlaceholderText(QStringLiteral("搜索"));
    m_search->setClearButtonEnabled(true);
    layout->addWidget(m_search);

    m_list = new QListWidget(panel);
    m_list->setObjectName(QStringLiteral("filterValues"));
    m_list->setUniformItemSizes(true); // keeps a column of many thousand values quick to open
    m_list->setMinimumSize(200, 220);
    const QSet<QString> chosen(current.begin(), current.end());
    m_checked.resize(std::size_t(values.size()));
    m_matches.resize(std::size_t(values.size()));
    for (int i = 0; i < values.size(); ++i) {
        m_checked[std::size_t(i)] = current.isEmpty() || chosen.contains(values.at(i));
        m_matches[std::size_t(i)] = i;
    }
    layout->addWidget(m_list, 1);
    m_more = new QLabel(panel);
    m_more->setObjectName(QStringLiteral("filterMore"));
    m_more->setWordWrap(true);
    layout->addWidget(m_more);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(6);
    auto* selectAll = new QPushButton(QStringLiteral("全选"), panel);
    selectAll->setObjectName(QStringLiteral("filterSelectAll"));
    auto* clear = new QPushButton(QStringLiteral("清除筛选"), panel);
    clear->setObjectName(QStringLiteral("filterClear"));
    m_ok = new QPushButton(QStringLiteral("确定"), panel);
    m_ok->setObjectName(QStringLiteral("filterOk"));
    m_ok->setDefault(true);
    buttons->addWidget(selectAll);
    buttons->addStretch(1);
    buttons->addWidget(clear);
    buttons->addWidget(m_ok);
    layout->addLayout(buttons);
    fillList();

    auto* action = new QWidgetAction(this);
    action->setDefaultWidget(panel);
    addAction(action);

    connect(m_search, &QLineEdit::textChanged, this, &CHpfFilterMenu::applySearch);
    connect(m_search, &QLineEdit::returnPressed, this, &CHpfFilterMenu::accept);
    connect(selectAll, &QPushButton::clicked, this, &CHpfFilterMenu::checkAllShown);
    connect(clear, &QPushButton::clicked, this, [this] {
        emit filterChosen(m_column, QStringList());
        close();
    });
    connect(m_ok, &QPushButton::clicked, this, &CHpfFilterMenu::accept);
    connect(m_list, &QListWidget::itemChanged, this, &CHpfFilterMenu::itemChanged);
}

int CHpfFilterMenu::column() const
{
    return m_column;
}

QLineEdit* CHpfFilterMenu::searchEdit() const
{
    return m_search;
}

QListWidget* CHpfFilterMenu::valueList() const
{
    return m_list;
}

QStringList CHpfFilterMenu::checkedValues() const
{
    QStringList values;
    for (const int i : m_matches) {
        if (m_checked[std::size_t(i)])
            values.append(m_values.at(i));
    }
    return values;
}

int CHpfFilterMenu::matchCount() const
{
    return int(m_matches.size());
}

void CHpfFilterMenu::applySearch(const QString& text)
{
    const QString needle = text.trimmed();
    m_matches.clear();
    for (int i = 0; i < m_values.size(); ++i) {
        if (needle.isEmpty() || m_values.at(i).contains(needle, Qt::CaseInsensitive))
            m_matches.push_back(i);
    }
    fillList();
}

void CHpfFilterMenu::fillList()
{
    {
        const QSignalBlocker blocker(m_list);
        m_list->clear();
        const int listed = std::min(int(m_matches.size()), kMaxListed);
        for (int n = 0; n < listed; ++n) {
            const int i = m_matches[std::size_t(n)];
            const QString& value = m_values.at(i);
            auto* item = new QListWidgetItem(value.isEmpty() ? QStringLiteral("(空白)") : value, m_list);
            item->setData(Qt::UserRole, value);
            item->setData(Qt::UserRole + 1, i);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
            item->setCheckState(m_checked[std::size_t(i)] ? Qt::Checked : Qt::Unchecked);
        }
    }
    const bool more = int(m_matches.size()) > kMaxListed;
    m_more->setText(
        more ? QStringLiteral("列出 %1 项，共 %2 项匹配；输入以缩小范围").arg(kMaxListed).arg(m_matches.size())
             : QString());
    m_more->setVisible(more);
    updateOkButton();
}

void CHpfFilterMenu::itemChanged(QListWidgetItem* item)
{
    const int i = item->data(Qt::UserRole + 1).toInt();
    if (i >= 0 && i < m_values.size())
        m_checked[std::size_t(i)] = item->checkState() == Qt::Checked;
    updateOkButton();
}

void CHpfFilterMenu::checkAllShown()
{
    for (const int i : m_matches)
        m_checked[std::size_t(i)] = 1;
    // One button update at the end instead of one per item.
    {
        const QSignalBlocker blocker(m_list);
        for (int n = 0; n < m_list->count(); ++n)
            m_list->item(n)->setCheckState(Qt::Checked);
    }
    m_list->viewport()->update();
    updateOkButton();
}

void CHpfFilterMenu::updateOkButton()
{
    // Nothing ticked would hide every row; that is never what the user wants from "确定".
    bool any = false;
    for (std::size_t n = 0; n < m_matches.size() && !any; ++n)
        any = m_checked[std::size_t(m_matches[n])];
    m_ok->setEnabled(any);
}

void CHpfFilterMenu::accept()
{
    const QStringList values = checkedValues();
    if (values.isEmpty())
        return;
    // Every value ticked is no filter at all.
    emit filterChosen(m_column, values.size() == m_values.size() ? QStringList() : values);
    close();
}

} // namespace WB
