#include "gallery.h"

#include "hosttoolkit.h"
#include "standinrow.h"

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QVBoxLayout>

#include <boost/make_shared.hpp>

#include <cstdio>

namespace {

struct SampleRow : standin::CPlainRow
{
    QString code, exchange, name;
    double ratio = 0;
    QString getText(int column) override
    {
        switch (column) {
        case 0: return code;
        case 1: return exchange;
        case 2: return WB::formatDoubleNumber(ratio, 2, {}, false, QStringLiteral("非法值"));
        case 3: return name;
        default: return QStringLiteral("-");
        }
    }
    double getDouble(int column) override { return column == 2 ? ratio : std::numeric_limits<double>::max(); }
    std::string getKey() override { return (exchange + code).toStdString(); }
};

class SampleModel : public WB::IBaseHpfTableModel
{
public:
    SampleModel()
        : IBaseHpfTableModel(true)
    {
    }
    int columnCount() override { return 5; }
    QString headerText(int column) override
    {
        static const QStringList headers{QStringLiteral("证券代码"), QStringLiteral("交易所名称"),
                                         QStringLiteral("担保品折算比例"), QStringLiteral("证券名称"),
                                         QStringLiteral("操作")};
        return column >= 0 && column < headers.size() ? headers.at(column) : QString();
    }
    QVariant::Type columnType(int column) override { return column == 2 ? QVariant::Double : QVariant::String; }
    QString columnAuxText(int) override { return QString(); }
    bool columnAuxFlag(int) override { return false; }
    const QColor* rowBackgroundColor(int row) override
    {
        return utils::CSingletonT<WB::CUiResource>::instance()->getColor(
            row % 2 == 0 ? QStringLiteral("clr_table_background") : QStringLiteral("clr_table_background2"));
    }
    utils::CFlags<utils::EFormatNumberFlag> columnFlag(int) override { return {}; }
};

bool save(const QPixmap& picture, const QString& dir, const QString& name)
{
    const QString path = QDir(dir).filePath(name);
    const bool ok = picture.save(path, "PNG");
    std::printf("%s: %s\n", ok ? "gallery" : "cannot write", qPrintable(path));
    return ok;
}

void fillTable(WB::CStandardHpfTable& table, SampleModel& model)
{
    static const struct
    {
        const char* exchange;
        const char* code;
        double ratio;
    } rows[] = {
        {"SH", "600519", 0.70}, {"SZ", "000858", 0.65}, {"SH", "601318", 0.70}, {"SZ", "300750", 0.55},
        {"SZ", "000001", 0.70}, {"SH", "600036", 0.70}, {"SH", "688981", 0.50}, {"SZ", "002594", 0.60},
        {"BJ", "830799", 0.40}, {"SH", "601012", 0.55}, {"SZ", "000333", 0.65}, {"SH", "600900", 0.70},
    };
    auto* delegate = qobject_cast<WB::CBaseTableColumnMultiButtonsDelegate*>(table.columnDelegate(4));
    rqservice::IDataCenterPtr master = rqservice::TraderCenter::instance()->getDataCenter();
    for (const auto& r : rows) {
        auto row = boost::make_shared<SampleRow>();
        rqservice::InstrumentRecordPtr security = master ? master->findInstrument(r.exchange, r.code) : nullptr;
        row->code = QString::fromLatin1(r.code);
        row->exchange = security ? WB::sToQs(security->exchangeName) : QString::fromLatin1(r.exchange);
        row->name = security ? WB::sToQs(security->stockName) : QString();
        row->ratio = r.ratio;
        model.addData(row);
        if (delegate)
            delegate->setItemButtons(row->getKey(),
                                     {WB::ButtonData(0, QStringLiteral("查询"), WB::eBlueButton),
                                      WB::ButtonData(1, QStringLiteral("删除"), WB::eNormalButton, true)},
                                     false);
    }
    table.updateTable();
    table.adjustColumnWidth();
}

} // namespace

int saveToolkitGallery(const QString& dir)
{
    QDir().mkpath(dir);
    int failures = 0;

    // Controls.
    QWidget controls;
    controls.resize(620, 120);
    auto* list = new WB::CWidgetList(Qt::Vertical, &controls);
    list->setMargin(10, 10, 10, 10);
    list->setSpacing(8);
    auto* buttons = new WB::CWidgetList(Qt::Horizontal, list);
    buttons->setFixedHeight(36);
    buttons->setMargin(3, 5, 0, 5);
    const char* names[] = {"刷新", "上传融资融券折算率", "删除", "帮助"};
    for (int type = 0; type < 4; ++type) {
        auto* button = new WB::CSmallNormalButton(200 + type, true, type == 0 ? 1 : (type == 1 ? 0 : type), buttons);
        button->setText(QString::fromUtf8(names[type]));
        button->setFixedSize(type == 1 ? 150 : 70, 26);
        buttons->addFixedWidget(button, WB::eAnchorCenter, false);
        buttons->addFixedSpace(5);
    }
    buttons->addStretchSpace(1);
    list->addFixedWidget(buttons, WB::eAnchorFill, false);
    auto* fields = new WB::CWidgetList(Qt::Horizontal, list);
    fields->setFixedHeight(36);
    fields->setMargin(5, 5, 0, 5);
    auto* label = new WB::CSimpleTextWidget(QStringLiteral("所属证券公司: "), fields);
    label->setFlag(386);
    label->setFixedWidth(120);
    fields->addFixedWidget(label, WB::eAnchorFill, false);
    auto* combo = new WB::CComboBox(400, fields);
    combo->addItems({QStringLiteral("中信证券"), QStringLiteral("华泰证券")});
    combo->setFixedWidth(180);
    fields->addFixedWidget(combo, WB::eAnchorFill, false);
    fields->addFixedSpace(10);
    auto* edit = new DVK::CSafeLineEdit(404, fields);
    edit->setText(QStringLiteral("/home/ops/折算率/rates_utf8.csv"));
    edit->setReadOnly(true);
    edit->setFixedSize(220, 26);
    fields->addFixedWidget(edit, WB::eAnchorCenter, false);
    fields->addStretchSpace(1);
    list->addFixedWidget(fields, WB::eAnchorFill, false);
    list->addStretchSpace(1);
    WB::setInnerStretchWidget(list, 0, 0, 0, 0);
    controls.show();
    failures += !save(controls.grab(), dir, QStringLiteral("controls.png"));

    // Table with alternating rows and a button column.
    QWidget tableHost;
    tableHost.resize(640, 380);
    auto* table = new WB::CStandardHpfTable(1, &tableHost, WB::EBaseTableMenuFlags(QFlag(0xFF)));
    auto* model = new SampleModel;
    table->setDataModel(model);
    table->setColumnDelegate(4, new WB::CBaseTableColumnMultiButtonsDelegate(4, table));
    table->setColumnFilterable(0, true);
    table->setColumnFilterable(1, true);
    WB::setInnerStretchWidget(table, 0, 0, 0, 0);
    tableHost.show();
    fillTable(*table, *model);
    failures += !save(tableHost.grab(), dir, QStringLiteral("table.png"));

    // The same table sorted by ratio, under the loading mask.
    table->sortByColumn(2, Qt::DescendingOrder);
    auto* mask = new WB::CLoadingMaskWidget(QStringLiteral("正在获取数据..."), &tableHost);
    mask->attach(&tableHost);
    failures += !save(tableHost.grab(), dir, QStringLiteral("mask.png"));
    mask->hide();

    // A dialog with the client's frame.
    WB::CCommonDialog dialog(nullptr);
    dialog.setTitle(QStringLiteral("查询"));
    dialog.resize(640, 420);
    auto* inner = new WB::CStandardHpfTable(2, &dialog, WB::EBaseTableMenuFlags(QFlag(0xFF)));
    auto* dialogModel = new SampleModel;
    inner->setDataModel(dialogModel);
    inner->setColumnDelegate(4, new WB::CBaseTableColumnMultiButtonsDelegate(4, inner));
    dialog.setInnerWidget(inner);
    dialog.show();
    fillTable(*inner, *dialogModel);
    failures += !save(dialog.grab(), dir, QStringLiteral("dialog.png"));
    dialog.hide();

    // The toolkit's pictures.
    QPixmap picture(300, 190);
    picture.fill(Qt::white);
    {
        QPainter painter(&picture);
        WB::CImage("img_send_file_credit").drawImage(&painter, 17, 14, 265, 161);
    }
    failures += !save(picture, dir, QStringLiteral("image.png"));
    return failures;
}
