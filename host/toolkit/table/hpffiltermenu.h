#pragma once
// The drop-down of a column filter: a search box, the column's distinct values to tick, and
// "全选" / "清除筛选" / "确定".

#include <QMenu>
#include <QStringList>

class QLineEdit;
class QListWidget;
class QPushButton;

namespace WB {

class CHpfFilterMenu : public QMenu
{
    Q_OBJECT
public:
    // values: the column's distinct texts; current: the values of its filter (empty: none set,
    // so every value starts ticked).
    CHpfFilterMenu(int column, const QStringList& values, const QStringList& current, QWidget* parent);

    int column() const;
    QLineEdit* searchEdit() const;
    QListWidget* valueList() const;
    // Ticked values among those the search leaves shown.
    QStringList checkedValues() const;

signals:
    // values empty: clear the column's filter.
    void filterChosen(int column, const QStringList& values);

private:
    void applySearch(const QString& text);
    void checkAllShown();
    void updateOkButton();
    void accept();

    int m_column;
    int m_total;
    QLineEdit* m_search = nullptr;
    QListWidget* m_list = nullptr;
    QPushButton* m_ok = nullptr;
};

} // namespace WB
