// The embedded data service on a database it may read but not write.
#include "embeddeddataservice.h"
#include "scriptedservice.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <boost/make_shared.hpp>

#include <unistd.h>

using rqservice::CEmbeddedDataService;

namespace {

// The query's outcome and its record count, once the service has answered.
QPair<QString, int> query(CEmbeddedDataService& service, int type, const std::string& key = std::string())
{
    auto outcome = boost::make_shared<QPair<QString, int>>(QStringLiteral("unanswered"), -1);
    auto request = boost::make_shared<rqservice::CVoprQueryDataReq>();
    request->queryType = type;
    request->queryKey = key;
    service.query(request, [outcome](const utils::RQError& error, const std::vector<rqservice::IDataPtr>& records, int,
                                     bson::BSONObj) {
        *outcome = {QString::fromStdString(error.isSuccess() ? std::string("ok") : error.errorMsg()),
                    int(records.size())};
    });
    service.waitIdle();
    return *outcome;
}

QString upload(CEmbeddedDataService& service)
{
    auto detail = boost::make_shared<rqservice::CVoprCvionRateDetail>();
    detail->brokerKeyNo = 1;
    detail->brokerId = "CITIC";
    detail->subjects = {testsupport::makeSubject(-1, "", "上交所", "600000", "浦发银行", 0.65)};
    auto request = boost::make_shared<rqservice::COperateDataReq>();
    request->dataType = rqservice::eDataTypeCvionRateDetail;
    request->operateType = 2;
    request->dataList.push_back(detail);
    auto outcome = boost::make_shared<QString>(QStringLiteral("unanswered"));
    service.operate(request, [outcome](const utils::RQError& error, bson::BSONObj) {
        *outcome = QString::fromStdString(error.isSuccess() ? std::string("ok") : error.errorMsg());
    });
    service.waitIdle();
    return *outcome;
}

// Makes paths unwritable: by mode for an ordinary user; root ignores modes, so the immutable
// attribute then. False when neither takes.
bool makeReadOnly(const QStringList& paths, bool readOnly)
{
    for (const QString& path : paths) {
        if (::geteuid() == 0) {
            if (QProcess::execute(QStringLiteral("chattr"), {readOnly ? "+i" : "-i", path}) != 0)
                return false;
        } else {
            const bool folder = QFileInfo(path).isDir();
            QFile::Permissions mode = QFile::ReadOwner | (folder ? QFile::ExeOwner : QFile::Permissions());
            if (!readOnly)
                mode |= QFile::WriteOwner;
            if (!QFile::setPermissions(path, mode))
                return false;
        }
    }
    return true;
}

} // namespace

class TestDatabaseFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void readOnly_data();
    void readOnly();
};

void TestDatabaseFaults::readOnly_data()
{
    QTest::addColumn<bool>("folderToo");
    QTest::newRow("read-only file") << false;
    QTest::newRow("read-only file in a read-only folder") << true;
}

// A database that cannot be written still answers queries; an upload fails saying so and the
// rows it had stay as they were.
void TestDatabaseFaults::readOnly()
{
    QFETCH(bool, folderToo);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("credit.sqlite"));
    QPair<QString, int> history;
    {
        CEmbeddedDataService service(path);
        history = query(service, 12294);
        QCOMPARE(history.first, QStringLiteral("ok"));
        QVERIFY(history.second > 0);
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();

    QStringList locked{path};
    if (folderToo)
        locked << dir.path();
    if (!makeReadOnly(locked, true)) {
        makeReadOnly(locked, false);
        QSKIP("running as root on a file system without the immutable attribute (chattr): root writes anyway");
    }
    QString uploaded;
    QPair<QString, int> after;
    {
        CEmbeddedDataService service(path);
        after = query(service, 12294);
        uploaded = upload(service);
    }
    QVERIFY(makeReadOnly(locked, false));

    QCOMPARE(after, history);
    QVERIFY2(uploaded != QLatin1String("ok") && uploaded != QLatin1String("unanswered"), qPrintable(uploaded));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
}

QTEST_MAIN(TestDatabaseFaults)
#include "tst_databasefaults.moc"
