#pragma once
// The drop-down of a column filter: a search box, the column's distinct values to tick, and
// "全选" / "清除筛选" / "确定". Like a spreadsheet's filter, the search narrows the values over
// all of them, while the list shows at most kMaxListed of the matches so that a column of a
// hundred thousand values opens at once; "全选" and "确定" act on every match, listed or not.

#include <QMenu>
#include <QStringList>

#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace WB {

class CHpfFilterMenu : public QMenu
{
    Q_OBJECT
public:
    static constexpr int kMaxListed = 1000;

    // values: the column's distinct texts; current: the values of its filter (empty: none set,
    // so every value starts ticked).
    CHpfFilterMenu(int column, const QStringList& values, const QStringList& current, QWidget* parent);

    int column() const;
    QLineEdit* searchEdit() const;
    QListWidget* valueList() const;
    // Ticked values among those the search matches (listed or not), in the column's order.
    QStringList checkedValues() const;
    // How many values the search matches.
    int matchCount() const;

signals:
    // values empty: clear the column's filter.
    void filterChosen(int column, const QStringList& values);

private:
    void applySearch(const QString& text);
    void fillList();
    void itemChanged(QListWidgetItem* item);
    void checkAllShown();
    void updateOkButton();
    void accept();

    int m_column;
    QStringList m_values;
    std::vector<char> m_checked; // per value
    std::vector<int> m_matches;  // indices into m_values the search leaves
    QLineEdit* m_search = nullptr;
    QListWidget* m_list = nullptr;
    QLabel* m_more = nullptr;
    QPushButton* m_ok = nullptr;
};

} // namespace WB
