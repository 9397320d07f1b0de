#pragma once
// The client's widget toolkit as a plug-in sees it: event plumbing, dockable panels, layout
// lists, controls, the loading mask, dialogs, message boxes, images, colours, number
// formatting and the high-performance table family.

#include "hostservice.h"
#include "hostworkbook.h"

#include <QColor>
#include <QComboBox>
#include <QDialog>
#include <QFlags>
#include <QImage>
#include <QLineEdit>
#include <QMap>
#include <QMargins>
#include <QMessageBox>
#include <QObject>
#include <QStringList>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QVariant>
#include <QVector>
#include <QWidget>

#include <boost/shared_ptr.hpp>

#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class QAbstractItemView;
class QAction;
class QBoxLayout;
class QMenu;
class QPainter;
class QTimer;

namespace utils {

// Number formatting options.
enum EFormatNumberFlag
{
    eFormatNumberNone = 0x0,
    eFormatNumberThousands = 0x1, // group the integer digits by thousands: 1,234,567.00
    eFormatNumberPercent = 0x2,   // value times 100 followed by %
};

template <class E>
using CFlags = QFlags<E>;

} // namespace utils

namespace WB {

class CUiResource;

// Event types of the toolkit, as delivered to handleEvent.
enum EToolkitEvent
{
    eEventButtonClicked = 5,     // id: the button's id
    eEventComboChanged = 6,      // id: the combo's id, index: the new current index
    eEventTableRefresh = 227,    // id: the table's id; sent by a table's refresh action
    eEventRowButtonClicked = 228 // id: the column, index: the button's id, key: the row key
};

// Receives toolkit events. A control delivers its events to the nearest receiver up its parent
// chain; a receiver that does not handle an event passes it on to the next one up (the
// CBaseWidget default). An event nobody handles is dropped.
class HOST_EXPORT CEventDeliverer
{
public:
    virtual ~CEventDeliverer();
    // Returns true when the event was handled.
    virtual bool handleEvent(int type, int id, int index, QString key, void* data);
};

// Delivers an event to the nearest receiver at or above from. Returns whether one handled it.
HOST_EXPORT bool deliverEvent(QWidget* from, int type, int id, int index, const QString& key = QString(),
                              void* data = nullptr);

// A QWidget (or other widget class) that is also an event receiver.
template <class W>
class CEventWidgetT : public W, public CEventDeliverer
{
public:
    using W::W;
};

// Told when the colour theme changes, so cached colours can be reread.
class HOST_EXPORT CUiResourceChangeHandler
{
public:
    CUiResourceChangeHandler();
    virtual ~CUiResourceChangeHandler();
    virtual void onUiResourceChanged();
};

class HOST_EXPORT CBaseWidget : public CEventWidgetT<QWidget>, public CUiResourceChangeHandler
{
    Q_OBJECT
public:
    explicit CBaseWidget(QWidget* parent = nullptr);
    ~CBaseWidget() override;
    // Passes the event on to the next receiver up the parent chain.
    bool handleEvent(int type, int id, int index, QString key, void* data) override;
    void onUiResourceChanged() override; // repaints
};

// A panel the client can dock.
class HOST_EXPORT IDockableWidget : public CBaseWidget
{
    Q_OBJECT
public:
    explicit IDockableWidget(QWidget* parent = nullptr);
    ~IDockableWidget() override;
    virtual void onActive(); // the panel became the visible tab of its dock
    virtual void acquire();  // the client starts using the panel
    virtual void release();  // the client stops using the panel
};

} // namespace WB

namespace DVK {

// Base of every panel of the client.
class HOST_EXPORT IvoprDockableWidget : public WB::IDockableWidget
{
    Q_OBJECT
public:
    // floatable: the panel may be torn out of its dock; name: the panel's identifier, unique
    // per panel kind, under which the client saves its parameter string; closable: the user
    // may close the panel's dock.
    IvoprDockableWidget(bool floatable, QString name, QWidget* parent, bool closable);
    ~IvoprDockableWidget() override;

    QString panelName() const;
    bool isFloatable() const;
    bool isClosable() const;

    // The parameter string the client saved for this panel, handed back at start.
    virtual void setParam(const QString& param);
    // The parameter string for the client to save.
    virtual QString param();
    // The user switched the trading system (also sent once at start).
    virtual void switchSystem(int systemId, QString systemName);

    int systemId() const;
    QString systemName() const;

private:
    bool m_floatable = false;
    QString m_name;
    bool m_closable = true;
    int m_systemId = -1;
    QString m_systemName;
    QString m_param; // what setParam was last given
};

// Entry point a panel plug-in exports (extern "C"): builds the panel with its parent.
typedef IvoprDockableWidget* (*CreateDockableWidgetFn)(QWidget* parent);
#define VOPR_PLUGIN_ENTRY_NAME "createDockableWidget"

// A line edit for file paths and codes: control characters are removed from whatever is typed
// or pasted, and the whole text shows as a tool tip when it does not fit.
class HOST_EXPORT CSafeLineEdit : public WB::CEventWidgetT<QLineEdit>
{
    Q_OBJECT
public:
    CSafeLineEdit(int id, QWidget* parent);
    int id() const;

private:
    int m_id;
};

} // namespace DVK

namespace WB {

// How a widget sits across a list (vertically in a horizontal list, horizontally in a vertical).
enum EWidgetAnchor
{
    eAnchorStart = 0,  // top, or left
    eAnchorCenter = 1, // centred at its own size
    eAnchorEnd = 2,    // bottom, or right
    eAnchorFill = 3,   // stretched across the whole list
};

// A row or column of widgets.
class HOST_EXPORT CWidgetList : public QWidget
{
    Q_OBJECT
public:
    CWidgetList(Qt::Orientation orientation, QWidget* parent);
    ~CWidgetList() override;

    Qt::Orientation orientation() const;
    void setSpacing(int spacing);
    // Margins are always given left, top, right, bottom.
    void setMargin(int left, int top, int right, int bottom);
    // Adds w at its own size along the list. prepend: put it first instead of last.
    void addFixedWidget(QWidget* w, int anchor, bool prepend = false);
    // Adds w to share the free length with the other stretched items by factor stretch.
    void addStretchWidget(QWidget* w, int stretch, int anchor, bool prepend = false);
    void addFixedSpace(int size);
    void addStretchSpace(int stretch);

private:
    void addItem(QWidget* w, int stretch, int anchor, bool prepend);
    QBoxLayout* m_layout = nullptr;
};

// Makes inner fill host, less the given margins (left, top, right, bottom).
HOST_EXPORT void setInnerStretchWidget(QWidget* inner, int left, int top, int right, int bottom);

enum ENormalButtonType
{
    eNormalButton = 0, // grey outline, for secondary actions
    eBlueButton = 1,   // filled accent colour, for the main actions of a tool bar or dialog
    eRedButton = 2,    // filled red, for destructive actions
    eLinkButton = 3,   // text only
};

class HOST_EXPORT CSmallNormalButton : public QPushButton
{
    Q_OBJECT
public:
    // deliverEvents: a click is delivered as toolkit event 5 with the id to the nearest
    // receiver up the parent chain (the clicked() signal is emitted either way).
    CSmallNormalButton(int id, bool deliverEvents, ENormalButtonType type, QWidget* parent);
    CSmallNormalButton(int id, bool deliverEvents, int type, QWidget* parent);
    int id() const;
    ENormalButtonType buttonType() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_id;
    bool m_deliverEvents;
    ENormalButtonType m_type;
};

// A combo box whose index changes are delivered as event 6 with its id.
class HOST_EXPORT CComboBox : public QComboBox
{
    Q_OBJECT
public:
    CComboBox(int id, QWidget* parent);
    int id() const;

private:
    int m_id;
};

// A painted text label. Flags are Qt alignment and text flags (Qt::AlignRight | Qt::AlignVCenter
// | Qt::TextSingleLine is 386); a text that does not fit is elided.
class HOST_EXPORT CSimpleTextWidget : public QWidget
{
    Q_OBJECT
public:
    CSimpleTextWidget(QString text, QWidget* parent);
    void setText(const QString& text);
    QString text() const;
    void setFlag(int flags);
    int flag() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
    int m_flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine;
};

// Covers a widget with a translucent veil, a text and a turning busy indicator while work runs.
// While shown it takes the mouse and the keyboard, so what it covers cannot be used.
class HOST_EXPORT CLoadingMaskWidget : public QWidget
{
    Q_OBJECT
public:
    CLoadingMaskWidget(QString text, QWidget* parent);
    ~CLoadingMaskWidget() override;
    QString text() const;
    void setText(const QString& text);
    // Covers w entirely, on top of its children, and follows its size until hidden.
    void attach(QWidget* w);
    QWidget* attachedTo() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void followTarget();
    QString m_text;
    QWidget* m_target = nullptr;
    QTimer* m_timer = nullptr;
    int m_angle = 0;
};

// ---------------------------------------------------------------------------------------------
// Dialogs and message boxes
// ---------------------------------------------------------------------------------------------

class HOST_EXPORT CBaseDialog : public CEventWidgetT<QDialog>
{
    Q_OBJECT
public:
    explicit CBaseDialog(QWidget* parent);
    ~CBaseDialog() override;
    // A dialog ends the chain: events its own controls send that it does not handle are dropped.
    bool handleEvent(int type, int id, int index, QString key, void* data) override;
};

// A dialog with the client's frame: a painted title bar (drag to move, × to close) and a border.
class HOST_EXPORT CCustomDialog : public CBaseDialog
{
    Q_OBJECT
public:
    explicit CCustomDialog(QWidget* parent);
    ~CCustomDialog() override;
    void setTitle(const QString& title);
    QString title() const;
    static int titleBarHeight();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QString m_title;
    QPushButton* m_closeButton = nullptr;
    QPoint m_dragOffset;
    bool m_dragging = false;
};

class HOST_EXPORT CCommonDialog : public CCustomDialog
{
    Q_OBJECT
public:
    explicit CCommonDialog(QWidget* parent);
    ~CCommonDialog() override;
    // w becomes the dialog's content below the title bar; the dialog takes ownership.
    void setInnerWidget(QWidget* w);
    QWidget* innerWidget() const;

private:
    QWidget* m_inner = nullptr;
};

class HOST_EXPORT CMessageBox
{
public:
    // Modal message boxes over parent. The last flag asks for the box to be shown without a
    // close button in its title bar. Returns the button pressed.
    static int information(QWidget* parent, const QString& title, const QString& text,
                           QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                           QMessageBox::StandardButton defaultButton = QMessageBox::NoButton,
                           bool noCloseButton = false);
    static int warning(QWidget* parent, const QString& title, const QString& text,
                       QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                       QMessageBox::StandardButton defaultButton = QMessageBox::NoButton, bool noCloseButton = false);
};

// ---------------------------------------------------------------------------------------------
// Images and colours
// ---------------------------------------------------------------------------------------------

// An image drawn scaled into any rectangle, keeping its corners sharp (nine-grid scaling where
// the image defines a grid, plain smooth scaling otherwise).
class HOST_EXPORT CGridImage
{
public:
    virtual ~CGridImage();
    void drawImage(QPainter* painter, int x, int y, int w, int h) const;
    bool isNull() const;
    QSize size() const;

protected:
    QImage m_image;
    QMargins m_grid;
};

// A named image of the client's resources; an unknown key gives a null image that draws nothing.
class HOST_EXPORT CImage : public CGridImage
{
public:
    explicit CImage(QString key);
    QString key() const;

private:
    QString m_key;
};

class HOST_EXPORT CUiResource
{
public:
    CUiResource();
    // A colour the resource keeps for the client's lifetime. An unknown key gives a magenta
    // fallback (never null) so the mistake shows on screen.
    const QColor* getColor(const QString& key);
    void setColor(const QString& key, const QColor& color);
    QStringList colorKeys() const;

private:
    std::unordered_map<std::string, std::unique_ptr<QColor>> m_colors;
    QColor m_fallback;
};

// Formats value with precision decimals. Thousands grouping and percent by flags; trimZeros
// drops trailing zeros of the decimals. NaN, infinities and the largest finite double (the
// tables' marker for "no value") give invalidText.
HOST_EXPORT QString formatDoubleNumber(double value, int precision, utils::CFlags<utils::EFormatNumberFlag> flags,
                                       bool trimZeros, const QString& invalidText);

} // namespace WB

namespace utils {
template <>
HOST_EXPORT WB::CUiResource* CSingletonT<WB::CUiResource>::instance();
}

namespace WB {

// ---------------------------------------------------------------------------------------------
// High-performance tables
// ---------------------------------------------------------------------------------------------

// One row of a table. Each row type answers every record operation itself; a column without a
// number of some kind answers the largest value of that type, which sorts last.
class HOST_EXPORT IBaseHpfTableData
{
public:
    IBaseHpfTableData();
    virtual ~IBaseHpfTableData();

    // The text the table's quick search matches against.
    virtual QString getTextFromAll(int column) = 0;
    virtual QString getText(int column) = 0;
    virtual int getInt(int column) = 0;
    virtual double getDouble(int column) = 0;
    virtual long long getLonglong(int column) = 0;
    virtual const QColor* getTextColor(int column) = 0;
    virtual std::string getKey() = 0;
    // The key as QString, computed once.
    virtual QString qsKey();
    // Copies the common state (not the derived fields) from another row.
    virtual void assign(const IBaseHpfTableData& other);

private:
    QString m_qsKey; // null until first asked
};

typedef boost::shared_ptr<IBaseHpfTableData> IBaseHpfTableDataPtr;

class CHpfItemModel;

// Columns and rows of a table. A derived model describes its columns; the row store and the
// comparisons are here. Rows are kept in the order they were added.
class HOST_EXPORT IBaseHpfTableModel
{
public:
    // replaceSameKey: a row added with the key of a row already stored replaces that row in its
    // place; when false both are kept, and key lookups find the first. A row with an empty key
    // is always appended and is not found by key.
    explicit IBaseHpfTableModel(bool replaceSameKey);
    virtual ~IBaseHpfTableModel();

    virtual int columnCount() = 0;
    virtual QString headerText(int column) = 0;
    virtual QVariant::Type columnType(int column) = 0;
    virtual QString columnAuxText(int column) = 0; // tool tip of the header
    virtual bool columnAuxFlag(int column) = 0;    // header shows an information mark
    virtual const QColor* rowBackgroundColor(int row) = 0;
    virtual utils::CFlags<utils::EFormatNumberFlag> columnFlag(int column) = 0;

    // Generation of the row store, raised by every change.
    virtual quint64 getCompareTick() const;
    // <0, 0, >0 as left sorts before, with or after right on column.
    virtual int compare(IBaseHpfTableData* left, IBaseHpfTableData* right, int column);
    // Whether the model sorts rows itself (then compare is asked in customSort's place).
    virtual bool isCustomSort(int column);
    // Whether the table sorts descending on the first click on this column.
    virtual bool isReverseSortFirst(int column);
    // Whether a row passes the model's own filter, besides the column filters of the table.
    virtual bool filterAcceptsRow(IBaseHpfTableData* row);

    // Row store. Changes show in the table at its next updateTable().
    void addData(const IBaseHpfTableDataPtr& row);
    void clear();
    int rowCount() const;
    IBaseHpfTableDataPtr getData(int index) const;
    IBaseHpfTableDataPtr getDataByKey(const std::string& key) const;
    int getDataIndexByKey(const std::string& key) const; // -1 when absent

    // The Qt item model of the table showing this model (internal).
    virtual void _setItemModel(CHpfItemModel* itemModel);
    virtual CHpfItemModel* _getDelegateData() const;

private:
    friend class CHpfItemModel;
    struct Private;
    std::unique_ptr<Private> d;
};

enum EBaseTableMenuFlag
{
    eMenuCopy = 0x01,         // copy the selected cells
    eMenuExport = 0x02,       // export the visible rows to a CSV file
    eMenuFitColumns = 0x04,   // fit the columns to their content
    eMenuColumns = 0x08,      // show or hide columns
    eMenuClearFilters = 0x10, // clear every column filter
    eMenuSelectAll = 0x20,    // select all rows
    eMenuRefresh = 0x40,      // send the refresh event to the table's receivers
    eMenuResetLayout = 0x80,  // restore the default column order, widths and visibility
};
Q_DECLARE_FLAGS(EBaseTableMenuFlags, EBaseTableMenuFlag)

enum EBaseTableFlag
{
    eTableSortable = 0x01,      // a click on a header sorts by that column
    eTableAlternateRows = 0x02, // rows take the model's alternating background colours
    eTableGridLines = 0x04,     // cell grid lines
    eTableRowNumbers = 0x08,    // a leading column of row numbers
    eTableMultiSelect = 0x10,   // several rows may be selected
    eTableHoverRow = 0x20,      // the row under the mouse is highlighted
};
Q_DECLARE_FLAGS(EBaseTableFlags, EBaseTableFlag)

class HOST_EXPORT IBaseTable : public CBaseWidget
{
    Q_OBJECT
public:
    IBaseTable(int id, QWidget* parent);
    ~IBaseTable() override;
    int tableId() const;

private:
    int m_id;
};

class HOST_EXPORT CBaseHighPerformanceTable : public IBaseTable
{
    Q_OBJECT
public:
    CBaseHighPerformanceTable(int id, QWidget* parent);
    ~CBaseHighPerformanceTable() override;
};

class CHpfTableView;

// A sortable, filterable table over an IBaseHpfTableModel, fast at hundreds of thousands of rows.
class HOST_EXPORT CStandardHpfTable : public CBaseHighPerformanceTable
{
    Q_OBJECT
public:
    CStandardHpfTable(int id, QWidget* parent, QFlags<EBaseTableMenuFlag> menuFlags);
    ~CStandardHpfTable() override;

    EBaseTableFlags flag() const; // default: every flag but eTableMultiSelect
    void setFlag(EBaseTableFlags flags);
    EBaseTableMenuFlags menuFlags() const;

    // The table owns the model from here on: it deletes it with itself, or when another model
    // replaces it. The caller keeps a pointer to use, never to delete.
    void setDataModel(IBaseHpfTableModel* model);
    IBaseHpfTableModel* dataModel() const;

    void setColumnFilterable(int column, bool filterable); // columns are not filterable by default
    bool isColumnFilterable(int column) const;
    // Column filter: only rows whose text in column is one of values are shown; an empty list
    // clears the filter of that column.
    void setColumnFilter(int column, const QStringList& values);
    QStringList columnFilter(int column) const;
    // Distinct texts of a column, in sorted order, as the filter menu offers them.
    QStringList columnValues(int column) const;

    // The table takes ownership of the delegate; a column has at most one.
    void setColumnDelegate(int column, QAbstractItemDelegate* delegate);
    QAbstractItemDelegate* columnDelegate(int column) const;
    void setColumnVisible(int column, bool visible);
    bool isColumnVisible(int column) const;

    // Shows the model's rows as they are now, sorted and filtered.
    void updateTable();
    void adjustColumnWidth();
    // Sorts by column (or clears the sort with -1).
    void sortByColumn(int column, Qt::SortOrder order);
    int sortColumn() const;
    Qt::SortOrder sortOrder() const;

    // Column order, widths, visibility and sort as one line without ';'. Loading a string from
    // another table, an older version or garbage changes nothing.
    QString saveConfigStr() const;
    bool loadConfigStr(const QString& config);

    int visibleRowCount() const;
    // The row shown at a visible position.
    IBaseHpfTableDataPtr visibleRow(int position) const;
    QString exportCsv() const;                       // the visible rows and columns, as the export writes them
    bool exportCsvToFile(const QString& path) const; // UTF-8 with a byte-order mark
    QString selectedCellsText() const;               // tab-separated, as copy puts it on the clipboard
    QAbstractItemView* view() const;

signals:
    void sortChanged(int column, Qt::SortOrder order);

protected:
    // The context menu and its refresh action; a derived table may remove the action.
    QMenu* m_pContextMenu = nullptr;
    QAction* m_pRefreshAction = nullptr;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// A button of a table row.
struct HOST_EXPORT ButtonData
{
    // disabled: drawn greyed and not clickable. texts: 0 the tool tip.
    ButtonData(int id = 0, QString text = QString(), ENormalButtonType type = eNormalButton, bool disabled = false,
               QMap<int, QString> texts = QMap<int, QString>());
    int id;
    QString text;
    ENormalButtonType type;
    bool disabled;
    QMap<int, QString> texts;
};

// Draws buttons in the cells of one column; a click sends event 228 (index the button id, key
// the row key) to the receiver, posted: it arrives from the event loop after the mouse event, and
// not at all if the delegate or a receiver that is a QObject is gone by then.
class HOST_EXPORT CBaseTableColumnMultiButtonsDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    CBaseTableColumnMultiButtonsDelegate(int column, CEventDeliverer* receiver);
    ~CBaseTableColumnMultiButtonsDelegate() override;
    int column() const;
    // Replaces the buttons of a row; repaint: repaint the cell now rather than at the next update.
    void setItemButtons(const std::string& rowKey, const QVector<ButtonData>& buttons, bool repaint);
    QVector<ButtonData> itemButtons(const std::string& rowKey) const;
    void clearItemButtons();

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;
    // Rectangles of the row's buttons within a cell rectangle.
    QVector<QRect> buttonRects(const std::string& rowKey, const QRect& cell) const;

private:
    int m_column;
    CEventDeliverer* m_receiver;
    std::unordered_map<std::string, QVector<ButtonData>> m_buttons;
    std::string m_hoverKey;
    int m_hoverButton = -1;
    std::string m_pressKey;
    int m_pressButton = -1;
};

} // namespace WB

Q_DECLARE_OPERATORS_FOR_FLAGS(WB::EBaseTableMenuFlags)
Q_DECLARE_OPERATORS_FOR_FLAGS(WB::EBaseTableFlags)
