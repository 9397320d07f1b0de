#include "hosttoolkit.h"

#include <QSignalSpy>
#include <QTest>

namespace {

// A receiver that logs what reaches it and handles it or not.
class Receiver : public WB::CBaseWidget
{
public:
    Receiver(const QString& name, bool handles, QStringList* log, QWidget* parent)
        : WB::CBaseWidget(parent)
        , m_handles(handles)
        , m_log(log)
    {
        setObjectName(name);
    }

    bool handleEvent(int type, int id, int index, QString key, void* data) override
    {
        *m_log << QStringLiteral("%1:%2/%3/%4").arg(objectName()).arg(type).arg(id).arg(index);
        return m_handles || WB::CBaseWidget::handleEvent(type, id, index, key, data);
    }

private:
    bool m_handles;
    QStringList* m_log;
};

class DialogReceiver : public WB::CBaseDialog
{
public:
    DialogReceiver(QStringList* log, QWidget* parent)
        : WB::CBaseDialog(parent)
        , m_log(log)
    {
    }

    bool handleEvent(int type, int id, int index, QString key, void* data) override
    {
        *m_log << QStringLiteral("dialog:%1/%2/%3").arg(type).arg(id).arg(index);
        return WB::CBaseDialog::handleEvent(type, id, index, key, data);
    }

private:
    QStringList* m_log;
};

} // namespace

class TestEventDelivery : public QObject
{
    Q_OBJECT

private slots:
    void buttonClickGoesUpTheChain_data();
    void buttonClickGoesUpTheChain();
    void buttonWithoutDeliveryOnlySignals();
    void comboChangeDeliversIndex();
};

// Layout of each case: outer receiver > middle (receiver, plain widget or dialog) > plain
// widget > button.
void TestEventDelivery::buttonClickGoesUpTheChain_data()
{
    QTest::addColumn<QString>("middle");   // "handles", "passes", "plain", "dialog"
    QTest::addColumn<bool>("outerHandles");
    QTest::addColumn<QStringList>("expectedLog");
    QTest::addColumn<bool>("expectedHandled");

    QTest::newRow("nearest receiver handles") << "handles" << true << QStringList{"middle:5/201/0"} << true;
    QTest::newRow("passed on to the next one up") << "passes" << true
                                                  << QStringList{"middle:5/201/0", "outer:5/201/0"} << true;
    QTest::newRow("plain widgets are skipped") << "plain" << true << QStringList{"outer:5/201/0"} << true;
    QTest::newRow("nobody handles: dropped") << "passes" << false
                                             << QStringList{"middle:5/201/0", "outer:5/201/0"} << false;
    QTest::newRow("a dialog ends the chain") << "dialog" << true << QStringList{"dialog:5/201/0"} << false;
}

void TestEventDelivery::buttonClickGoesUpTheChain()
{
    QFETCH(QString, middle);
    QFETCH(bool, outerHandles);
    QFETCH(QStringList, expectedLog);
    QFETCH(bool, expectedHandled);

    QStringList log;
    Receiver outer(QStringLiteral("outer"), outerHandles, &log, nullptr);
    QWidget* mid = nullptr;
    if (middle == QLatin1String("dialog"))
        mid = new DialogReceiver(&log, &outer);
    else if (middle == QLatin1String("plain"))
        mid = new QWidget(&outer);
    else
        mid = new Receiver(QStringLiteral("middle"), middle == QLatin1String("handles"), &log, &outer);
    auto* plain = new QWidget(mid);
    auto* button = new WB::CSmallNormalButton(201, true, WB::eBlueButton, plain);
    button->setFixedSize(70, 26);
    QSignalSpy clicked(button, &QAbstractButton::clicked);

    QTest::mouseClick(button, Qt::LeftButton);

    QCOMPARE(clicked.count(), 1);
    QCOMPARE(log, expectedLog);
    // The same route asked directly reports whether someone handled it.
    log.clear();
    QCOMPARE(WB::deliverEvent(plain, WB::eEventButtonClicked, 201, 0), expectedHandled);
}

// Without delivery the button is a plain push button to the chain.
void TestEventDelivery::buttonWithoutDeliveryOnlySignals()
{
    QStringList log;
    Receiver outer(QStringLiteral("outer"), true, &log, nullptr);
    auto* button = new WB::CSmallNormalButton(7, false, 0, &outer);
    QSignalSpy clicked(button, &QAbstractButton::clicked);
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(clicked.count(), 1);
    QVERIFY(log.isEmpty());
}

// Index changes arrive as event 6 with the combo's id and the new index.
void TestEventDelivery::comboChangeDeliversIndex()
{
    QStringList log;
    Receiver outer(QStringLiteral("outer"), true, &log, nullptr);
    auto* combo = new WB::CComboBox(400, &outer);
    combo->addItems({QStringLiteral("华泰证券"), QStringLiteral("中信证券"), QStringLiteral("国泰君安")});
    combo->setCurrentIndex(2);
    QCOMPARE(log, (QStringList{"outer:6/400/0", "outer:6/400/2"}));
}

QTEST_MAIN(TestEventDelivery)
#include "tst_eventdelivery.moc"
