#include "hosttoolkit.h"

#include <QSignalSpy>
#include <QTest>

namespace {

// A receiver that logs what reaches it as "name:type/id/index" and handles it or leaves it to
// its base (a widget passes it up, a dialog ends the chain).
template <class Base>
class Receiver : public Base
{
public:
    Receiver(const QString& name, bool handles, QStringList* log, QWidget* parent)
        : Base(parent)
        , m_handles(handles)
        , m_log(log)
    {
        this->setObjectName(name);
    }
    bool handleEvent(int type, int id, int index, QString key, void* data) override
    {
        *m_log << QStringLiteral("%1:%2/%3/%4").arg(this->objectName()).arg(type).arg(id).arg(index);
        return m_handles || Base::handleEvent(type, id, index, key, data);
    }

private:
    bool m_handles;
    QStringList* m_log;
};
using WidgetReceiver = Receiver<WB::CBaseWidget>;

} // namespace

class TestEventDelivery : public QObject
{
    Q_OBJECT

private slots:
    void buttonClickGoesUpTheChain_data();
    void buttonClickGoesUpTheChain();
};

// Layout of each case: outer receiver > middle (receiver, plain widget or dialog) > plain
// widget > button.
void TestEventDelivery::buttonClickGoesUpTheChain_data()
{
    QTest::addColumn<QString>("middle"); // "handles", "passes", "plain", "dialog"
    QTest::addColumn<bool>("outerHandles");
    QTest::addColumn<bool>("delivers"); // the button's own choice
    QTest::addColumn<QStringList>("expectedLog");
    QTest::addColumn<bool>("expectedHandled");

    const QString mid = "middle:5/201/0", outer = "outer:5/201/0";
    QTest::newRow("nearest receiver handles") << "handles" << true << true << QStringList{mid} << true;
    QTest::newRow("passed on to the next one up") << "passes" << true << true << QStringList{mid, outer} << true;
    QTest::newRow("plain widgets are skipped") << "plain" << true << true << QStringList{outer} << true;
    QTest::newRow("nobody handles: dropped") << "passes" << false << true << QStringList{mid, outer} << false;
    QTest::newRow("a dialog ends the chain") << "dialog" << true << true << QStringList{mid} << false;
    QTest::newRow("button without delivery") << "handles" << true << false << QStringList{} << true;
}

// A click on a delivering button reaches the nearest receiver up the parent chain as event 5
// with the button's id; it always emits clicked.
void TestEventDelivery::buttonClickGoesUpTheChain()
{
    QFETCH(QString, middle);
    QFETCH(bool, outerHandles);
    QFETCH(bool, delivers);

    QStringList log;
    WidgetReceiver outer("outer", outerHandles, &log, nullptr);
    QWidget* mid = middle == QLatin1String("dialog")  ? new Receiver<WB::CBaseDialog>("middle", false, &log, &outer)
                   : middle == QLatin1String("plain") ? new QWidget(&outer)
                                                      : new WidgetReceiver("middle", middle == "handles", &log, &outer);
    auto* plain = new QWidget(mid);
    auto* button = new WB::CSmallNormalButton(201, delivers, WB::eBlueButton, plain);
    button->setFixedSize(70, 26);
    QSignalSpy clicked(button, &QAbstractButton::clicked);

    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(clicked.count(), 1);
    QTEST(log, "expectedLog");
    // The same route asked directly reports whether someone handled it.
    QTEST(WB::deliverEvent(plain, WB::eEventButtonClicked, 201, 0), "expectedHandled");
}

QTEST_MAIN(TestEventDelivery)
#include "tst_eventdelivery.moc"
