#include "hpffiltermenu.h"

#include "hpfstyle.h"

#include <QHBoxLayout>
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
    , m_total(values.size())
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
    for (const QString& value : values) {
        auto* item = new QListWidgetItem(value.isEmpty() ? QStringLiteral("(空白)") : value, m_list);
        item->setData(Qt::UserRole, value);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(current.isEmpty() || chosen.contains(value) ? Qt::Checked : Qt::Unchecked);
    }
    layout->addWidget(m_list, 1);

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
    connect(m_list, &QListWidget::itemChanged, this, &CHpfFilterMenu::updateOkButton);
    updateOkButton();
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
    for (int i = 0; i < m_list->count(); ++i) {
        const QListWidgetItem* item = m_list->item(i);
        if (!item->isHidden() && item->checkState() == Qt::Checked)
            values.append(item->data(Qt::UserRole).toString());
    }
    return values;
}

void CHpfFilterMenu::applySearch(const QString& text)
{
    const QString needle = text.trimmed();
    for (int i = 0; i < m_list->count(); ++i) {
        QListWidgetItem* item = m_list->item(i);
        item->setHidden(!needle.isEmpty() && !item->text().contains(needle, Qt::CaseInsensitive));
    }
    updateOkButton();
}

void CHpfFilterMenu::checkAllShown()
{
    // One button update at the end instead of one per item.
    {
        const QSignalBlocker blocker(m_list);
        for (int i = 0; i < m_list->count(); ++i) {
            QListWidgetItem* item = m_list->item(i);
            if (!item->isHidden())
                item->setCheckState(Qt::Checked);
        }
    }
    m_list->viewport()->update();
    updateOkButton();
}

void CHpfFilterMenu::updateOkButton()
{
    // Nothing ticked would hide every row; that is never what the user wants from "确定".
    bool any = false;
    for (int i = 0; i < m_list->count() && !any; ++i) {
        const QListWidgetItem* item = m_list->item(i);
        any = !item->isHidden() && item->checkState() == Qt::Checked;
    }
    m_ok->setEnabled(any);
}

void CHpfFilterMenu::accept()
{
    const QStringList values = checkedValues();
    if (values.isEmpty())
        return;
    // Every value ticked is no filter at all.
    emit filterChosen(m_column, values.size() == m_total ? QStringList() : values);
    close();
}

} // namespace WB
